#include "catalogue/catalogue.h"

#include <unordered_map>

#include "catalogue/catalogue_table.h"
#include "frame/strings.h"
#include "platform/messages.h"

namespace catalogue {

std::array<std::string, MaxFiles> FileCode;
std::array<std::uint8_t, MaxFiles> TextMapKind{};
std::array<bool, MaxFiles> Published{};
bool CatalogueBuilt = false;

namespace {

// Upper-case code to slot, rebuilt by every catalogue build.
std::unordered_map<std::string, int> g_slot_of_code;

constexpr int kPublishedSlots[] = {1,   3,   20,  21,  56,  60,  90,  100, 103, 112, 132, 148, 168,
                                   171, 174, 175, 156, 184, 202, 216, 238, 343, 360, 281, 317, 324};

}  // namespace

void PublishFile(int index) {
  if (CatalogueBuilt || index < 1 || index > MaxFiles) return;
  if (Published[index - 1]) {
    platform::OperatorMessage("ERROR: File index [" + std::to_string(index) +
                              "] requested twice to be pub.\r\nFileName: " + FileCode[index - 1]);
    return;
  }
  Published[index - 1] = true;
}

void BuildCatalogue() {
  for (int i = 1; i <= MaxFiles; ++i) {
    FileCode[i - 1].clear();
    TextMapKind[i - 1] = 3;
    if (!CatalogueBuilt) Published[i - 1] = i > WebFiles;
  }
  for (int i = 1; i <= kWebFiles; ++i) FileCode[i - 1] = kBuiltInCodes[i - 1];
  for (int i = 8; i <= 24; ++i) TextMapKind[i - 1] = 1;
  for (int i = 27; i <= 29; ++i) TextMapKind[i - 1] = 1;
  TextMapKind[25 - 1] = 0;
  TextMapKind[26 - 1] = 0;
  for (int slot : kPublishedSlots) PublishFile(slot);
  CatalogueBuilt = true;
  g_slot_of_code.clear();
  g_slot_of_code.reserve(std::size_t{2} * WebFiles);
  for (int i = 1; i <= WebFiles; ++i) {
    FileCode[i - 1] = frame::UpperAscii(FileCode[i - 1]);
    if (!FileCode[i - 1].empty()) g_slot_of_code.emplace(FileCode[i - 1], i);
  }
}

const std::string& CodeOf(int index) { return FileCode[index - 1]; }

int SlotOfCode(std::string_view stem) {
  auto it = g_slot_of_code.find(frame::UpperAscii(stem));
  return it == g_slot_of_code.end() ? -1 : it->second;
}

int SlotOfExactCode(std::string_view stem) {
  auto it = g_slot_of_code.find(std::string(stem));
  return it == g_slot_of_code.end() ? -1 : it->second;
}

void ResetCatalogue() {
  for (auto& code : FileCode) code.clear();
  TextMapKind.fill(0);
  Published.fill(false);
  CatalogueBuilt = false;
  g_slot_of_code.clear();
}

}  // namespace catalogue
