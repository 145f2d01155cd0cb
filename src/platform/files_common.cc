// The parts of the file service that are the same on every system.
#include <memory>
#include <unordered_map>

#include "platform/files.h"

namespace platform {
namespace {
thread_local int g_last_error = 0;
unsigned long g_failures = 0;
// While recording: each folder's key, and the folder as first written; the
// same of each file read.
std::unique_ptr<std::unordered_map<std::string, std::string>> g_recorded;
std::unique_ptr<std::unordered_map<std::string, std::string>> g_recorded_files;
std::unique_ptr<std::unordered_map<std::string, std::string>> g_recorded_linked;
}  // namespace

int LastErrorCode() { return g_last_error; }

void SetLastErrorCode(int code) {
  g_last_error = code;
  if (!IsMissingNameError(code)) ++g_failures;
}

unsigned long FailuresSoFar() { return g_failures; }

void CountFailure() { ++g_failures; }

std::string FolderKey(std::string_view folder) {
  std::string key;
  key.reserve(folder.size());
  for (char c : folder) {
    if (c == '\\') c = '/';
    if (c == '/' && !key.empty() && key.back() == '/') continue;
    key += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key.empty() ? std::string(".") : key;
}

void StartRecordingFolders() {
  g_recorded = std::make_unique<std::unordered_map<std::string, std::string>>();
  g_recorded_files = std::make_unique<std::unordered_map<std::string, std::string>>();
  g_recorded_linked = std::make_unique<std::unordered_map<std::string, std::string>>();
}

Recorded StopRecordingFolders() {
  Recorded recorded;
  if (g_recorded) recorded.folders.assign(g_recorded->begin(), g_recorded->end());
  if (g_recorded_files) recorded.files.assign(g_recorded_files->begin(), g_recorded_files->end());
  if (g_recorded_linked) {
    recorded.other_names.assign(g_recorded_linked->begin(), g_recorded_linked->end());
  }
  g_recorded.reset();
  g_recorded_files.reset();
  g_recorded_linked.reset();
  return recorded;
}

void RecordFile(std::string_view path) {
  if (!g_recorded_files) return;
  g_recorded_files->try_emplace(FolderKey(path), path);
}

bool Recording() { return g_recorded_files != nullptr; }

void RecordOtherNames(std::string_view path) {
  if (!g_recorded_linked) return;
  g_recorded_linked->try_emplace(FolderKey(path), path);
}

FileStamp StampOf(const std::string& path) {
  FileStamp stamp;
  stamp.native = NativePath(path);
  Restamp(stamp);
  return stamp;
}

bool StillStands(const FileStamp& stamp) {
  FileStamp now;
  now.native = stamp.native;
  Restamp(now);
  return now == stamp;
}

bool FileStamp::operator==(const FileStamp& other) const {
  return exists == other.exists && device == other.device && file == other.file &&
         size == other.size && modified == other.modified && changed == other.changed;
}

namespace {

// The folder `path` lies in, as written: "." for a bare name.
std::string_view FolderOf(std::string_view path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? std::string_view(".")
         : cut == 0                    ? path.substr(0, 1)
                                       : path.substr(0, cut);
}

}  // namespace

std::string FolderKeyOf(std::string_view path) { return FolderKey(FolderOf(path)); }

void RecordFolderOf(std::string_view path) {
  if (!g_recorded) return;
  std::string folder(FolderOf(path));
  std::string key = FolderKey(folder);
  g_recorded->try_emplace(std::move(key), std::move(folder));
}

namespace {

bool ReadRest(InputFile& file, std::string& contents) {
  char chunk[65536];
  for (;;) {
    long n = file.Read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    contents.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  InputFile file;
  return file.Open(path) && ReadRest(file, contents);
}

bool ReadFileOfOneName(const std::string& path, std::string& contents) {
  contents.clear();
  InputFile file;
  return file.OpenOneName(path) && ReadRest(file, contents);
}

}  // namespace platform
