#include "catalogue/book_headers.h"

#include <array>

#include "catalogue/catalogue.h"
#include "catalogue/text_reader.h"
#include "common/errors.h"
#include "common/page_text.h"
#include "common/text.h"
#include "platform/names.h"
#include "server/file_utils.h"
#include "server/site_paths.h"

namespace catalogue {
namespace {

std::string WithoutLeadingSpaces(const std::string& s, std::size_t from) {
  std::size_t start = s.find_first_not_of(' ', from);
  return start == std::string::npos ? std::string() : s.substr(start);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

void TrimTrailing(std::string& s, bool digits_too) {
  while (!s.empty()) {
    char c = s.back();
    bool trim = c == ' ' || c == ',' || c == '.' || c == ':' || c == '\xA1' ||  // Arabic comma
                (digits_too && c >= '0' && c <= '9');
    if (!trim) break;
    s.pop_back();
  }
}

}  // namespace

int AddHeadersToFile(std::string& file, const std::string& raw_folder) {
  if (FileCode[0].empty()) BuildCatalogue();
  std::string folder = server::fnCorrectPath(raw_folder);
  // Which books are there, from one look at the folder (names in any letter
  // case), rather than one look per slot of the catalogue.
  std::array<bool, WebFiles + 1> present{};
  platform::VisitFiles(folder + "*.TXT", [&present](const platform::DirEntry& entry) {
    if ((entry.attributes & platform::kAttrDirectory) != 0) return true;
    std::string_view stem(entry.name);
    int slot = SlotOfCode(stem.substr(0, stem.size() - 4));
    if (slot > 0) present[slot] = true;
    return true;
  });
  int found = 0;
  std::string line;
  for (int n = 1; n <= WebFiles; ++n) {
    const std::string& code = FileCode[n - 1];
    if (code.empty() || !present[n]) continue;
    std::string path = folder + code + ".TXT";
    platform::InputFile book;
    if (!book.Open(path)) {
      int error = platform::LastErrorCode();
      if (!platform::FileExists(path)) continue;  // no such book here
      throw common::InOutError(error, server::IOErrorText(error));
    }
    ++found;
    std::string book_name, author_name;
    TextReader reader(book);
    while (reader.ReadLine(line)) {
      std::string upper = platform::UpperAscii(line.substr(0, 8));
      if (StartsWith(upper, "*BOOK*")) {
        book_name = WithoutLeadingSpaces(line, 6);
      } else if (StartsWith(upper, "*AUTHOR*")) {
        author_name = WithoutLeadingSpaces(line, 8);
        break;
      }
      if (StartsWith(line, "*END*")) break;
    }
    file += std::to_string(n) + "\r\n" + platform::UpperAscii(code) + "\r\n" + book_name + "\r\n" +
            author_name + "\r\n\r\n";
  }
  return found;
}

bool OpenBookText(int index, platform::InputFile& file) {
  const std::string& folder = index > WebFiles ? server::_WebPath : server::TXTPath;
  std::string path = folder + CodeOf(index) + ".TXT";
  if (!platform::FileExists(path) || !file.Open(path)) {
    common::AddPageBlock("***ERROR in FILEUTIL, could not open TEXT file" + path);
    return false;
  }
  return true;
}

std::string CleanBookName(const std::string& name) {
  std::string copy = name;
  TrimTrailing(copy, true);
  static const char* const kEditionWords[] = {
      "\xC7\xE1\xC5\xD5\xCF\xC7\xD1",      // alef lam alef-hamza-below sad dal alef reh
      "\xC7\xE1\xC5\xD5\xCF\xF3\xC7\xD1",  // the same with a fatha
      "\xC7\xE1\xC7\xD5\xCF\xC7\xD1",      // alef lam alef sad dal alef reh
      "\xC5\xD5\xCF\xC7\xD1",              // alef-hamza-below sad dal alef reh
  };
  std::size_t at = std::string::npos;
  for (const char* word : kEditionWords) {
    at = copy.find(word);
    if (at != std::string::npos) break;
  }
  if (at == std::string::npos) at = platform::FindCaseless(copy, "VERSION");
  if (at == std::string::npos) return name;
  copy.erase(at);
  TrimTrailing(copy, false);
  return copy;
}

}  // namespace catalogue
