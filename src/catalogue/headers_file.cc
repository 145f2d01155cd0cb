#include "catalogue/headers_file.h"

#include <algorithm>

#include "catalogue/book_headers.h"
#include "catalogue/catalogue.h"
#include "catalogue/text_reader.h"
#include "common/errors.h"
#include "common/page_text.h"
#include "common/paths.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/names.h"
#include "server/file_utils.h"
#include "server/site_paths.h"

namespace catalogue {

const char* const VersionMajor = "10";
const char* const VersionMinor = "20";

std::array<TBookHeader, WebFiles + 1> BookHeaders;

namespace {

using common::AddPageBlock;

}  // namespace

std::string VersionStamp() { return std::string(VersionMajor) + VersionMinor; }
std::string HeadersFileName() { return "Hdrs" + VersionStamp() + ".TXT"; }
std::string HeadersBackupName() { return "Hdrs" + VersionStamp() + ".bak"; }

bool HeadersFileIsStale(const std::string& headers_file) {
  platform::FileTime own = 0;
  if (!platform::GetModifiedTime(headers_file, own)) return false;
  platform::FileTime newest = 0;
  platform::FolderTimes times(server::TXTPath);
  platform::VisitFiles(server::TXTPath + "*.txt", [&](const platform::DirEntry& entry) {
    platform::FileTime t = 0;
    if (IsCatalogueFile(entry.name) && times.Get(entry.name, t) && t > newest) newest = t;
    return true;
  });
  return newest > own;
}

namespace {

[[noreturn]] void ThrowLastError() {
  int code = platform::LastErrorCode();
  throw common::InOutError(code, server::IOErrorText(code));
}

platform::FileTime (*g_file_clock)() = nullptr;

// A request that was killed leaves its temporary files behind (a rebuild's
// new file or backup link, the write test of the folder); one named that long
// ago belongs to no running request. The age counts from when the name was
// made: a backup link of an old headers file keeps that file's modification
// time. Only names of the program's own form go.
void RemoveAbandonedFiles(const std::string& folder) {
  constexpr std::int64_t kAbandonedAfterSeconds = 600;
  const platform::FileTime now = g_file_clock != nullptr ? g_file_clock() : platform::FileTimeNow();
  const platform::FileTime limit =
      now - (platform::FileTimeFromUnixSeconds(kAbandonedAfterSeconds) -
             platform::FileTimeFromUnixSeconds(0));
  for (const auto& entry : platform::FindFiles(folder + "~enPanel-*.tmp")) {
    if (!platform::IsTemporaryName(entry.name)) continue;
    platform::FileTime t = 0;
    std::string path = platform::JoinName(folder, entry.name);
    if (platform::GetNameTime(path, t) && t < limit) platform::RemoveFile(path);
  }
}

// The rebuild failed: the page says so, and so does the server's error log.
void ReportRebuildFailure(const std::string& page_text, const std::string& headers_file,
                          const std::string& reason) {
  AddPageBlock(page_text);
  platform::OperatorMessage("Headers file " + platform::OperatorPath(headers_file) +
                            " not rebuilt: " + reason);
}

// Writes the new headers file under a temporary name and puts it in place in
// one step, so that a concurrent reader sees the old or the new file whole.
// False (with the report on the page) when the rebuild failed or found no book.
bool Rebuild(const std::string& folder, const std::string& headers_file,
             const std::string& source_folder) {
  std::string backup = common::ExtractFilePath(headers_file) + HeadersBackupName();
  RemoveAbandonedFiles(folder);
  std::string temp;
  if (!platform::CreateUniqueFile(folder, "hdr", temp)) {
    std::string error = server::IOErrorText(platform::LastErrorCode());
    ReportRebuildFailure("<br>Error trying to write to: " + headers_file + "<br>" + error,
                         headers_file, error);
    return false;
  }
  std::string contents = VersionStamp() + "\r\n";
  int written = 0;
  try {
    written = AddHeadersToFile(contents, source_folder);
  } catch (...) {
    platform::RemoveFile(temp);
    throw;
  }
  // On disk before it is put in place: after a power loss the headers file
  // is the old one or the new one, never an empty file newer than every book.
  if (!platform::WriteWholeFile(temp, contents, true)) {
    std::string error = server::IOErrorText(platform::LastErrorCode());
    platform::RemoveFile(temp);
    ReportRebuildFailure(
        "<br>Error after \"AddHeadersToFile\" in Headers.CallGetHeaders<br>" + error, headers_file,
        "cannot write " + platform::OperatorPath(temp) + ": " + error);
    return false;
  }
  if (written == 0) {
    platform::RemoveFile(temp);
    platform::OperatorMessage("Headers file " + platform::OperatorPath(headers_file) +
                              " not rebuilt: no book text in " +
                              platform::OperatorPath(source_folder));
    AddPageBlock("ERROR<br>No FILES available in Headers File: " + headers_file + "<br>");
    AddPageBlock("It will be deleted now<br>Run this program again, to try to generate it<br>");
    if (platform::FileExists(headers_file)) platform::RenameFile(headers_file, backup);
    return false;
  }
  if (!platform::ReplaceWithBackup(temp, headers_file, backup)) {
    std::string error = server::IOErrorText(platform::LastErrorCode());
    platform::RemoveFile(temp);
    ReportRebuildFailure("<br>Error trying to write to: " + headers_file + "<br>" + error,
                         headers_file, "cannot put it in place: " + error);
    return false;
  }
  return true;
}

// Rebuilds take turns, on every host that shares the folder: each holds the
// lock of a file of its own beside the headers file (which nothing renames)
// while it looks again whether a rebuild is needed and makes it. A turn held
// elsewhere is waited for, backing off from 1 ms to 100 ms, some 5 s in all;
// false when it was not had (held that long, or no lock to be had here),
// and the rebuild goes on without it, as safe on one host as it was.
bool TakeRebuildTurn(const std::string& folder, platform::LockedFile& turn) {
  const std::string lock_file = folder + "Hdrs" + VersionStamp() + ".lock";
  int waited_ms = 0;
  for (int attempt = 0; waited_ms < 5000; ++attempt) {
    if (turn.TryOpenLocked(lock_file)) return true;
    if (!turn.Busy()) return false;
    int pause_ms = std::min(1 << std::min(attempt, 7), 100);
    platform::SleepMicroseconds(pause_ms * 1000);
    waited_ms += pause_ms;
  }
  return false;
}

// Opens the headers file. Where another host is putting a new one in its
// place, its name may be missing for a moment, or found by a handle gone
// stale: a few more tries, 1 ms apart and more, some 0.2 s in all.
void OpenHeadersFile(platform::InputFile& file, const std::string& headers_file) {
  constexpr int kTries = 20;
  for (int attempt = 1; !file.Open(headers_file); ++attempt) {
    if (attempt == kTries || !platform::IsReplacedNameError(platform::LastErrorCode())) {
      ThrowLastError();
    }
    platform::SleepMicroseconds(attempt * 1000);
  }
}

}  // namespace

namespace {

// The first line: a file of another version is still read, but the result
// is false and (verbose) the page says which version wrote it.
bool CheckStamp(TextReader& reader, bool verbose, const std::string& headers_file) {
  std::string line;
  reader.ReadLine(line);
  if (line == VersionStamp()) return true;
  if (verbose) {
    AddPageBlock(
        "<br><font color='Red'><b>ERROR in Headers File: " + common::ExtractFileName(headers_file) +
        "<br>File was written by version " + line + "<br>But this version is " + VersionStamp() +
        "<br><br>Program CAN continue" + "<br>But it is recommended to write the proper file now," +
        "<br>by using the program:" + "<br>HDRMAKER.EXE<br></b></Font>");
  }
  return false;
}

// The next line into `field`; at the end of the file `field` keeps its value
// and the answer is false.
bool ReadField(TextReader& reader, std::string& field) {
  if (reader.Eof()) return false;
  reader.ReadLine(field);
  return true;
}

// The three lines after record n's index line: its code, book name and
// author. False when the code disagrees with the catalogue (reported when
// verbose; the names are kept all the same) or the file ends first; `good`
// counts a record whose code agrees.
bool ReadRecord(TextReader& reader, int n, bool verbose, const std::string& headers_file,
                int& good) {
  TBookHeader& header = BookHeaders[n];
  bool sound = true;
  std::string code;
  if (ReadField(reader, code)) {
    header.Code = platform::UpperAscii(code);
    if (header.Code == platform::UpperAscii(FileCode[n - 1])) {
      ++good;
    } else {
      sound = false;
      if (verbose) {
        AddPageBlock("ERROR<br>Index: " + std::to_string(n) + " from " + headers_file +
                     " refers to file: " + code + "<br>" +
                     "but the actual file is: " + FileCode[n - 1] + "<br>" +
                     "The following information will be wrong: Book Name and Author Name" + "<br>" +
                     "program CAN continue");
      }
    }
  }
  if (!ReadField(reader, header.BookName) || !ReadField(reader, header.AuthorName)) sound = false;
  return sound;
}

}  // namespace

bool ReadHeadersFile(bool verbose, const std::string& headers_file) {
  platform::InputFile file;
  OpenHeadersFile(file, headers_file);
  TextReader reader(file);
  bool result = CheckStamp(reader, verbose, headers_file);
  int good = 0;
  std::string line;
  while (reader.ReadLine(line)) {
    if (line.empty()) continue;
    int n = common::ParseInt32(line).value_or(0);
    // A line that is no record's index is passed over.
    bool sound = n >= 1 && n <= WebFiles && ReadRecord(reader, n, verbose, headers_file, good);
    result = result && sound;
  }
  if (good == 0) {
    AddPageBlock("ERROR<br>No FILES available in Headers File: " + headers_file + "<br>");
  }
  return result;
}

bool IsCatalogueFile(const std::string& name) {
  std::string_view stem(name);
  std::size_t dot = stem.find_last_of('.');
  return SlotOfExactCode(dot == std::string_view::npos ? stem : stem.substr(0, dot)) > 0;
}

bool CallGetHeaders(bool verbose, const std::string& path) {
  bool result = true;
  std::string folder = common::ExtractFilePath(server::fnCorrectPath(path));
  std::string headers_file = folder + HeadersFileName();
  std::string source_folder = folder + "FullTXT\\";
  if (!platform::DirectoryExists(source_folder)) source_folder = "\\Kbx32-D4\\Txt\\";

  bool exists = platform::FileExists(headers_file);
  if (!exists || HeadersFileIsStale(headers_file)) {
    if (!server::CanWriteToDir(folder)) {
      platform::OperatorMessage(
          std::string(exists ? "Stale headers file " : "Missing headers file ") +
          platform::OperatorPath(headers_file) + " cannot be " + (exists ? "replaced" : "written") +
          ": the folder " + platform::OperatorPath(folder) +
          " cannot be written to by this account");
      AddPageBlock("ERROR: Headers File Not Found: " + common::ExtractFileName(headers_file) +
                   "\r\n" + "AND CANNOT WRITE IT ON DIRECTORY:" + folder + "\r\n\r\n" +
                   "This File must have been generated by Qorvex KBXxxx," + "\r\n" +
                   "then written to CD");
      return result;
    }
    platform::LockedFile turn;
    // Had the turn or not: another process, here or on another host, may
    // have put a new file in place since the first look.
    TakeRebuildTurn(folder, turn);
    if ((!platform::FileExists(headers_file) || HeadersFileIsStale(headers_file)) &&
        !Rebuild(folder, headers_file, source_folder)) {
      return false;
    }
  }
  return ReadHeadersFile(verbose, headers_file);
}

void SetFileClockForTests(platform::FileTime (*now)()) { g_file_clock = now; }

void ResetBookHeaders() {
  for (auto& h : BookHeaders) h = TBookHeader{};
}

}  // namespace catalogue
