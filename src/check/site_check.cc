#include "check/site_check.h"

#include <array>
#include <exception>

#include "catalogue/areas.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "catalogue/text_reader.h"
#include "common/page_text.h"
#include "common/paths.h"
#include "platform/files.h"
#include "server/file_scan.h"
#include "server/site_paths.h"

namespace check {
namespace {

constexpr std::size_t kNamesShown = 20;

class Collector {
 public:
  explicit Collector(SiteReport& report) : report_(report) {}
  void Info(std::string text) { report_.findings.push_back(Finding{false, std::move(text)}); }
  void Problem(std::string text) { report_.findings.push_back(Finding{true, std::move(text)}); }

 private:
  SiteReport& report_;
};

// "a, b, c" for at most kNamesShown names, then how many more.
std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
    if (i > 0) text += ", ";
    text += names[i];
  }
  if (names.size() > kNamesShown) {
    text += " and " + std::to_string(names.size() - kNamesShown) + " more";
  }
  return text;
}

std::string FolderName(const std::string& folder) {
  std::string trimmed = folder;
  while (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\')) trimmed.pop_back();
  return common::ExtractFileName(trimmed) + "/";
}

// What the book folders hold, slot by slot, as the scan names them.
struct FolderContents {
  std::array<bool, catalogue::WebFiles + 1> text{};
  std::array<std::array<bool, 6>, catalogue::WebFiles + 1> index{};
  std::vector<std::string> unmatched, pass_enders;
};

FolderContents ReadFolders(const std::string& txt, const std::string& idx) {
  FolderContents c;
  bool found = false;
  int slot = -1;
  platform::VisitFiles(txt + "*.TXT", [&](const platform::DirEntry& entry) {
    server::FindFileSlot(entry.name, found, slot);
    if (found) {
      c.text[slot] = true;
    } else {
      c.unmatched.push_back(FolderName(txt) + entry.name);
    }
    return true;
  });
  platform::VisitFiles(idx + "*.IX*", [&](const platform::DirEntry& entry) {
    server::FindFileSlot(entry.name, found, slot);
    if (server::EndsIndexPass(entry.name)) {
      c.pass_enders.push_back(FolderName(idx) + entry.name);
    } else if (!found) {
      c.unmatched.push_back(FolderName(idx) + entry.name);
    } else if (int number = server::IndexFileNumber(entry.name); number >= 0) {
      c.index[slot][number] = true;
    }
    return true;
  });
  return c;
}

void CheckBooks(Collector& out, const std::string& folder) {
  std::string diagnostic;
  server::CGIFindAvailFiles(diagnostic);
  const std::string& txt = server::TXTPath;
  const std::string& idx = server::IDXPath;
  if (txt != folder + "fulltxt/") {
    out.Info("No book in " + folder + "fulltxt/ and " + folder +
             "fullindexes/: the program looks in " + txt + " and " + idx);
  }
  std::string per_area;
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    const catalogue::TAreaRecord& area = catalogue::S_Rec[s];
    int count = 0;
    for (int f = area.FirstFile; f <= area.LastFile; ++f) count += server::CanUseFile[f] ? 1 : 0;
    per_area += (s == 0 ? "" : ", ") + area.AreaId + " " + std::to_string(count);
  }
  std::string total = std::to_string(server::TotFilesOnWeb);
  if (server::TotFilesOnWeb == 0) {
    out.Problem(
        "Books present: none (a book needs its text and all six index files); the page "
        "shows an error instead of the books");
  } else {
    out.Info("Books present: " + total + " (" + per_area + ")");
  }

  FolderContents c = ReadFolders(txt, idx);
  for (int n = 1; n <= catalogue::WebFiles; ++n) {
    const std::string& code = catalogue::CodeOf(n);
    if (code.empty()) continue;
    std::vector<std::string> missing, present;
    for (int d = 0; d < 6; ++d) {
      (c.index[n][d] ? present : missing).push_back(code + ".IX" + std::to_string(d));
    }
    if (c.text[n] && !missing.empty()) {
      out.Problem("Book " + code + " (" + std::to_string(n) + ") has its text but not " +
                  NameList(missing) + " in " + idx);
    } else if (!c.text[n] && !present.empty()) {
      out.Problem("Index files without a text " + code + ".TXT in " + txt + ": " +
                  NameList(present));
    }
  }
  if (!c.unmatched.empty()) {
    out.Problem("Names that match no book code: " + NameList(c.unmatched));
  }
  for (const std::string& name : c.pass_enders) {
    out.Problem(name + " does not end in a digit: the program stops reading index files there");
  }
}

void CheckHeaders(Collector& out, const std::string& headers) {
  std::string name = common::ExtractFileName(headers);
  if (!platform::FileExists(headers)) {
    out.Info("Headers file " + name + ": missing; the first request builds it");
    return;
  }
  std::string real = common::ExtractFileName(platform::NativePath(headers));
  if (real != name) out.Info("Headers file stands as " + real + "; a rebuild names it " + name);
  std::string stamp;
  {
    platform::InputFile file;
    if (file.Open(headers)) catalogue::TextReader(file).ReadLine(stamp);
  }
  bool stale = catalogue::HeadersFileIsStale(headers);
  std::string state =
      stale ? "stale (older than the newest book text; the next request rebuilds it)" : "fresh";
  catalogue::ResetBookHeaders();
  try {
    catalogue::ReadHeadersFile(false, headers);
  } catch (const std::exception& e) {
    out.Problem("Headers file " + name + " cannot be read: " + e.what());
    return;
  }
  common::PageText.clear();
  int records = 0;
  for (int n = 1; n <= catalogue::WebFiles; ++n) {
    const std::string& code = catalogue::BookHeaders[n].Code;
    if (code.empty()) continue;
    ++records;
    if (code != catalogue::CodeOf(n)) {
      out.Problem("Headers record " + std::to_string(n) + " names " + code + ", but book " +
                  std::to_string(n) + " of the catalogue is " + catalogue::CodeOf(n));
    }
  }
  std::string summary = "Headers file " + name + ": stamp " + (stamp.empty() ? "(none)" : stamp) +
                        ", " + std::to_string(records) + " records, " + state;
  if (stamp != catalogue::VersionStamp()) {
    out.Problem(summary + "; this program writes stamp " + catalogue::VersionStamp());
  } else {
    out.Info(summary);
  }
}

void CheckAccount(Collector& out, const std::string& folder, const platform::Account& account) {
  using platform::AccountMay;
  const std::string who = "Account " + account.name;
  bool folder_writable = AccountMay(account, folder, platform::kWrite | platform::kSearch);
  if (folder_writable) {
    out.Info(who + " can write the site folder");
  } else {
    out.Problem(who + " cannot write the site folder " + folder +
                ": the headers file cannot be built or kept up to date");
  }
  for (const std::string& file : {catalogue::HeadersFileName(), catalogue::HeadersBackupName()}) {
    std::string path = folder + file;
    if (folder_writable && platform::FileExists(path) &&
        !platform::AccountMayReplace(account, path)) {
      out.Problem(who + " cannot replace " + common::ExtractFileName(platform::NativePath(path)) +
                  " (another account's file in the site folder): a stale headers file stays");
    }
  }
  std::string stats = folder + "Statistics/";
  if (!platform::DirectoryExists(stats)) {
    if (AccountMay(account, folder, platform::kWrite | platform::kSearch)) {
      out.Info("Statistics/ is missing; the first request makes it");
    } else {
      out.Problem("Statistics/ is missing and " + account.name +
                  " cannot make it: visits are "
                  "not counted");
    }
  } else if (!AccountMay(account, stats, platform::kWrite | platform::kSearch)) {
    out.Problem(who +
                " cannot write Statistics/: visits are not counted (a folder left by a run "
                "as another account, such as root?)");
  } else {
    std::vector<std::string> locked;
    for (const auto& entry : platform::FindFiles(stats + "*")) {
      if (!AccountMay(account, stats + entry.name, platform::kRead | platform::kWrite)) {
        locked.push_back(entry.name);
      }
    }
    if (locked.empty()) {
      out.Info(who + " can write Statistics/");
    } else {
      out.Problem(who + " cannot write these files in Statistics/: " + NameList(locked));
    }
  }
  std::vector<std::string> unreadable;
  for (const std::string& books : {server::TXTPath, server::IDXPath}) {
    if (!platform::DirectoryExists(books)) continue;
    if (!AccountMay(account, books, platform::kRead | platform::kSearch)) {
      unreadable.push_back(books);
      continue;
    }
    for (const auto& entry : platform::FindFiles(books + "*")) {
      if ((entry.attributes & platform::kAttrDirectory) == 0 &&
          !AccountMay(account, books + entry.name, platform::kRead)) {
        unreadable.push_back(FolderName(books) + entry.name);
      }
    }
  }
  if (unreadable.empty()) {
    out.Info(who + " can read the book files");
  } else {
    out.Problem(who + " cannot read " + NameList(unreadable));
  }
}

}  // namespace

int SiteReport::problems() const {
  int n = 0;
  for (const Finding& f : findings) n += f.problem ? 1 : 0;
  return n;
}

SiteReport CheckSite(const std::string& site_folder, const platform::Account* account) {
  SiteReport report;
  Collector out(report);
  std::string folder = site_folder;
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\')) folder += '/';
  server::SetSitePaths(folder + "enPanel");
  catalogue::BuildCatalogue();
  catalogue::InitAreas();
  server::ResetScan();
  CheckBooks(out, folder);
  const std::string headers = folder + catalogue::HeadersFileName();
  CheckHeaders(out, headers);
  if (account != nullptr) CheckAccount(out, folder, *account);
  common::PageText.clear();
  return report;
}

std::string FormatReport(const std::string& site_folder, const SiteReport& report) {
  std::string text = "enPanel site check: " + site_folder + "\n";
  for (const Finding& f : report.findings) {
    text += (f.problem ? "PROBLEM: " : "  ") + f.text + "\n";
  }
  int problems = report.problems();
  text += problems == 0
              ? "The site is sound.\n"
              : std::to_string(problems) + (problems == 1 ? " problem.\n" : " problems.\n");
  return text;
}

}  // namespace check
