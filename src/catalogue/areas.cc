#include "catalogue/areas.h"

namespace catalogue {

std::array<TAreaRecord, AreaCount> S_Rec;
std::int32_t MaxAreaRows = 0;

namespace {

struct AreaRow {
  const char* name;
  const char* arabic;
  std::int32_t first, last;
};

const AreaRow kAreas[AreaCount] = {
    {"Quran", "\xDE\xD1\xC2\xE4", 1, 55},            // qaf reh alef-madda noon
    {"Hadeeth", "\xCD\xCF\xED\xCB", 56, 111},        // hah dal yeh theh
    {"Sayings", "\xC3\xDE\xE6\xC7\xE1", 112, 141},   // alef-hamza qaf waw alef lam
    {"Fiqh", "\xDD\xDE\xE5", 142, 201},              // feh qaf heh
    {"Beliefs", "\xDA\xDE\xED\xCF\xC9", 202, 237},   // ain qaf yeh dal teh-marbuta
    {"Morals", "\xCA\xD2\xDF\xED\xC9", 238, 259},    // teh zain kaf yeh teh-marbuta
    {"Lexicons", "\xE3\xDA\xC7\xCC\xE3", 260, 329},  // meem ain alef jeem meem
    {"Usuul", "\xC3\xD5\xE6\xE1", 330, 359},         // alef-hamza sad waw lam
    {"Mthdlgy", "\xE3\xD5\xD8\xE1\xCD", 360, 371},   // meem sad tah lam hah
};

}  // namespace

void InitAreas() {
  MaxAreaRows = 0;
  for (int i = 0; i < AreaCount; ++i) {
    TAreaRecord& area = S_Rec[i];
    area.TotF = 0;
    area.FirstFile = kAreas[i].first;
    area.LastFile = kAreas[i].last;
    area.AreaId = kAreas[i].name;
    area.ArabicName = kAreas[i].arabic;
    area.Caption = kAreas[i].name;
  }
}

}  // namespace catalogue
