// make_site: lays out a demo library for the program in a site folder.
//
//   make_site FOLDER [--books N] [--extra N] [--statistics-years N]
//
// FOLDER is the program's folder; it gets "fulltxt" and "fullindexes" with
// the first N books of the catalogue (all of them by default), each with made-up
// Arabic titles and authors in Windows-1256 and all six index files, and,
// with --extra, N unrelated files in each book folder (named like book files,
// with no book's code); with --statistics-years, Statistics/ with the
// counters and logs of every day of the N years before 2026 for the four
// programs that share it, as an old site has them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalogue/catalogue_table.h"

namespace fs = std::filesystem;

namespace {

// Book kinds: book, commentary, exegesis, epistle, abridgement, compendium,
// refinement, opening.
const char* const kKinds[] = {
    "\xDF\xCA\xC7\xC8",     "\xD4\xD1\xCD",     "\xCA\xDD\xD3\xED\xD1", "\xD1\xD3\xC7\xE1\xC9",
    "\xE3\xCE\xCA\xD5\xD1", "\xCC\xC7\xE3\xDA", "\xCA\xE5\xD0\xED\xC8", "\xDD\xCA\xCD"};
// Topics: jurisprudence, hadith, creed, morals, language, principles,
// biography, the Quran.
const char* const kTopics[] = {"\xC7\xE1\xDD\xDE\xE5",         "\xC7\xE1\xCD\xCF\xED\xCB",
                               "\xC7\xE1\xDA\xDE\xED\xCF\xC9", "\xC7\xE1\xC3\xCE\xE1\xC7\xDE",
                               "\xC7\xE1\xE1\xDB\xC9",         "\xC7\xE1\xC3\xD5\xE6\xE1",
                               "\xC7\xE1\xD3\xED\xD1\xC9",     "\xC7\xE1\xDE\xD1\xC2\xE4"};
// Titles: the imam, the sheikh, the scholar, the judge.
const char* const kTitles[] = {"\xC7\xE1\xC5\xE3\xC7\xE3", "\xC7\xE1\xD4\xED\xCE",
                               "\xC7\xE1\xDA\xE1\xC7\xE3\xC9", "\xC7\xE1\xDE\xC7\xD6\xED"};
// Names: Muhammad, Ahmad, Ali, Umar, Hasan, Yusuf, Ibrahim, Abdullah.
const char* const kNames[] = {"\xE3\xCD\xE3\xCF",
                              "\xC3\xCD\xE3\xCF",
                              "\xDA\xE1\xED",
                              "\xDA\xE3\xD1",
                              "\xCD\xD3\xE4",
                              "\xED\xE6\xD3\xDD",
                              "\xC5\xC8\xD1\xC7\xE5\xED\xE3",
                              "\xDA\xC8\xCF \xC7\xE1\xE1\xE5"};

bool Write(const fs::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  return static_cast<bool>(out);
}

}  // namespace

// The books there are: the library's slots that have a code.
int BooksInTheCatalogue() {
  int books = 0;
  for (const char* code : catalogue::kBuiltInCodes) books += *code != '\0' ? 1 : 0;
  return books;
}

std::string Usage() {
  return "usage: make_site FOLDER [--books N] [--extra N] [--statistics-years N]\n"
         "Lays out a demo library in FOLDER (the program's folder): fulltxt/ and\n"
         "fullindexes/ with the first N books of the catalogue (all " +
         std::to_string(BooksInTheCatalogue()) +
         " by default: the\n"
         "catalogue's " +
         std::to_string(catalogue::WebFiles) +
         " slots, but for those without a code), and with --extra N\n"
         "unrelated files named like book files in each; with --statistics-years N,\n"
         "Statistics/ with N years of four programs' daily counters and logs.\n";
}

// A whole number of at least 0, or -1.
int Count(const char* text) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  return (end == text || *end != '\0' || value < 0 || value > 1000000) ? -1
                                                                       : static_cast<int>(value);
}

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(Usage().c_str(), stdout);
    return 0;
  }
  if (argc < 2 || argv[1][0] == '-') {
    std::fputs(Usage().c_str(), stderr);
    return 2;
  }
  fs::path folder = argv[1];
  int books = catalogue::WebFiles, extra = 0, years = 0;
  for (int i = 2; i < argc; i += 2) {
    int value = i + 1 < argc ? Count(argv[i + 1]) : -1;
    if (std::strcmp(argv[i], "--books") == 0 && value >= 0) {
      books = value;
    } else if (std::strcmp(argv[i], "--extra") == 0 && value >= 0) {
      extra = value;
    } else if (std::strcmp(argv[i], "--statistics-years") == 0 && value >= 0) {
      years = value;
    } else {
      std::fprintf(stderr, "make_site: bad option %s\n%s", argv[i], Usage().c_str());
      return 2;
    }
  }
  fs::create_directories(folder / "fulltxt");
  fs::create_directories(folder / "fullindexes");
  int made = 0;
  for (int slot = 1; slot <= catalogue::WebFiles && made < books; ++slot) {
    std::string code = catalogue::kBuiltInCodes[slot - 1];
    if (code.empty()) continue;
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string title =
        std::string(kKinds[slot % 8]) + " " + kTopics[(slot / 8) % 8] + " " + std::to_string(slot);
    if (slot % 7 == 0) title += " VERSION 2";
    std::string author = std::string(kTitles[slot % 4]) + " " + kNames[(slot / 4) % 8];
    std::string text = "*BOOK* " + title + "\r\n*AUTHOR* " + author + "\r\n";
    for (int line = 0; line < 20; ++line)
      text += std::string(kTopics[line % 8]) + " " + kKinds[line % 8] + "\r\n";
    if (!Write(folder / "fulltxt" / (code + ".TXT"), text)) return 1;
    for (char d = '0'; d <= '5'; ++d) {
      if (!Write(folder / "fullindexes" / (code + ".IX" + d), "index " + code)) return 1;
    }
    ++made;
  }
  for (int i = 0; i < extra; ++i) {
    // Names as long as codes, matched by the folder patterns, but no book's
    // code: the most work for the scan. "Y" and five base-36 digits.
    std::string name(6, 'Y');
    for (int k = 5, v = i; k >= 1; --k, v /= 36)
      name[k] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[v % 36];
    if (!Write(folder / "fulltxt" / (name + ".TXT"), "") ||
        !Write(folder / "fullindexes" / (name + ".IX0"), "")) {
      return 1;
    }
  }
  if (years > 0) fs::create_directories(folder / "Statistics");
  for (int year = 2026 - years; year < 2026; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 30 + (month % 2) - (month == 2 ? 2 : 0); ++day) {
        char stamp[16];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d", year, month, day);
        for (const char* program : {"arPanel", "enPanel", "qryGate", "txtView"}) {
          std::string base = std::string("$") + program + "$" + stamp;
          if (!Write(folder / "Statistics" / (base + ".ctr"), "1") ||
              !Write(folder / "Statistics" / (base + ".log"), "")) {
            return 1;
          }
        }
      }
    }
  }
  std::printf("%d books in %s\n", made, folder.string().c_str());
  return 0;
}
