#include "catalogue/catalogue.h"

#include "catalogue/catalogue_table.h"
#include "common/text.h"
#include "platform/messages.h"
#include "platform/names.h"

namespace catalogue {

std::array<std::string, MaxFiles> FileCode;
std::array<std::uint8_t, MaxFiles> TextMapKind{};
std::array<bool, MaxFiles> Published{};
bool CatalogueBuilt = false;

namespace {

// Codes have at most six characters.
constexpr std::size_t kMaxCodeLength = 6;

// A code of up to six bytes packed into one number, letter case folded when
// `fold` is set; 0 for what cannot be a code.
std::uint64_t PackCode(std::string_view code, bool fold) {
  if (code.empty() || code.size() > kMaxCodeLength) return 0;
  std::uint64_t packed = 0;
  for (char c : code) {
    if (fold) c = platform::UpperAscii(c);
    packed = (packed << 8) | static_cast<unsigned char>(c);
  }
  return packed;
}

// Packed upper-case code to slot, rebuilt by every catalogue build: an
// open-addressing table four times the size of the library.
class CodeTable {
 public:
  void Clear() { keys_.fill(0); }
  void Add(std::uint64_t key, int slot) {  // the first slot of a code stays
    for (std::size_t i = Home(key);; i = (i + 1) & kMask) {
      if (keys_[i] == key) return;
      if (keys_[i] == 0) {
        keys_[i] = key;
        slots_[i] = static_cast<std::int16_t>(slot);
        return;
      }
    }
  }
  int Find(std::uint64_t key) const {
    for (std::size_t i = Home(key);; i = (i + 1) & kMask) {
      if (keys_[i] == key) return slots_[i];
      if (keys_[i] == 0) return -1;
    }
  }

 private:
  static constexpr std::size_t kSize = 2048, kMask = kSize - 1;
  static std::size_t Home(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 53) & kMask;
  }
  std::array<std::uint64_t, kSize> keys_{};
  std::array<std::int16_t, kSize> slots_{};
};
CodeTable g_slot_of_code;

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
  for (int i = 1; i <= WebFiles; ++i) FileCode[i - 1] = kBuiltInCodes[i - 1];
  for (int i = 8; i <= 24; ++i) TextMapKind[i - 1] = 1;
  for (int i = 27; i <= 29; ++i) TextMapKind[i - 1] = 1;
  TextMapKind[25 - 1] = 0;
  TextMapKind[26 - 1] = 0;
  for (int slot : kPublishedSlots) PublishFile(slot);
  CatalogueBuilt = true;
  g_slot_of_code.Clear();
  for (int i = 1; i <= WebFiles; ++i) {
    FileCode[i - 1] = platform::UpperAscii(FileCode[i - 1]);
    if (!FileCode[i - 1].empty()) g_slot_of_code.Add(PackCode(FileCode[i - 1], false), i);
  }
}

const std::string& CodeOf(int index) { return FileCode[index - 1]; }

int SlotOfCode(std::string_view stem) {
  std::uint64_t key = PackCode(stem, true);
  return key == 0 ? -1 : g_slot_of_code.Find(key);
}

int SlotOfExactCode(std::string_view stem) {
  // Codes are upper case: a name in another case is no exact match.
  std::uint64_t key = PackCode(stem, false);
  if (key == 0 || key != PackCode(stem, true)) return -1;
  return g_slot_of_code.Find(key);
}

void ResetCatalogue() {
  for (auto& code : FileCode) code.clear();
  TextMapKind.fill(0);
  Published.fill(false);
  CatalogueBuilt = false;
  g_slot_of_code.Clear();
}

}  // namespace catalogue
