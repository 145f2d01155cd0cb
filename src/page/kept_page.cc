#include "page/kept_page.h"

#include <memory>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/folder_watch.h"

namespace page {
namespace {

bool g_keeping = false;
bool g_kept = false;
std::string g_page;
std::unique_ptr<platform::FolderWatch> g_watch;
// The folders the last build read (their keys, and as written): watched
// before the next one.
std::vector<std::pair<std::string, std::string>> g_read;
// The build under way: whether it is recorded, the keys of the folders
// watched for it (all of them, or `g_watched_all` is false), and the
// failures counted before it.
bool g_recording = false;
std::unordered_set<std::string> g_watched;
bool g_watched_all = false;
unsigned long g_failures_before = 0;

}  // namespace

void KeepPagesFromNowOn() { g_keeping = true; }

const std::string* KeptPage() {
  if (!g_kept) return nullptr;
  if (!g_watch->Unchanged()) {
    g_kept = false;
    g_page.clear();
    return nullptr;
  }
  return &g_page;
}

void BeginBuild() {
  g_kept = false;
  g_page.clear();
  if (!g_keeping) return;
  if (!g_watch) g_watch = std::make_unique<platform::FolderWatch>();
  g_watch->Restart();
  g_watched.clear();
  g_watched_all = true;
  for (const auto& [key, folder] : g_read) {
    if (!g_watch->Watch(folder)) {
      g_watched_all = false;
      break;
    }
    g_watched.insert(key);
  }
  g_failures_before = platform::FailuresSoFar();
  platform::StartRecordingFolders();
  g_recording = true;
}

void EndBuild(const std::string& page, bool told_operator) {
  if (!g_recording) return;
  g_recording = false;
  g_read = platform::StopRecordingFolders();
  bool watched = g_watched_all;
  for (const auto& [key, folder] : g_read) watched = watched && g_watched.count(key) != 0;
  if (watched && !told_operator && platform::FailuresSoFar() == g_failures_before) {
    g_page = page;
    g_kept = true;
  }
}

void ForgetKeptPage() {
  g_keeping = false;
  g_kept = false;
  g_page.clear();
  g_watch.reset();
  g_read.clear();
  if (g_recording) platform::StopRecordingFolders();
  g_recording = false;
}

}  // namespace page
