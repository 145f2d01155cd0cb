#include "page/kept_page.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/folder_watch.h"
#include "platform/messages.h"

namespace page {
namespace {

bool g_keeping = false;
bool g_kept = false;
std::string g_page;
std::unique_ptr<platform::FolderWatch> g_watch;
// The folders and files the last build read (their keys, and as written):
// the folders watched before the next one, or stamped where no notice of
// theirs can be trusted, with the files read in them.
platform::Recorded g_read;
// What the build under way, and the page kept from it, are checked by at
// every request where no notice comes: a stamp of each such folder and of
// each file read in it.
std::vector<platform::FileStamp> g_stamps;
// The build under way: whether it is recorded, the keys of the folders
// watched or stamped for it, and the failures counted before it.
bool g_recording = false;
// The forms of a kept page, made on a thread of their own: what it was
// made from and for which kept page, and, once `done`, the forms.
struct FormsJob {
  std::uint64_t page = 0;
  std::string source;
  std::string gzip, brotli;
  bool gzip_made = false, brotli_made = false;
  std::atomic<bool> done{false};
};
std::uint64_t g_page_number = 0;  // counts the pages kept
std::shared_ptr<FormsJob> g_forms;
// The keys of the folders watched (or stamped) for the build under way,
// and of the files with other names watched (or stamped) themselves.
std::unordered_set<std::string> g_watched, g_watched_files;
unsigned long g_failures_before = 0;

// The operator hears once of each folder whose page is kept by stamps.
void TellStamped(const std::string& folder) {
  static std::unordered_set<std::string> told;
  if (!told.insert(platform::FolderKey(folder)).second) return;
  platform::OperatorMessage(
      platform::OperatorPath(folder) +
      " gives no notice of its changes here that can be trusted (it, or what a link in it leads "
      "to, is on a file system not known to be local, or a watch was refused): the page built "
      "from it is kept and checked at every request against what its build read there (the "
      "folder's and each file's identity, size and times, one look each), and built again when "
      "one moved");
}

bool StampsStand() {
  for (const platform::FileStamp& stamp : g_stamps) {
    if (!platform::StillStands(stamp)) return false;
  }
  return true;
}

}  // namespace

void KeepPagesFromNowOn() { g_keeping = true; }

const std::string* KeptPage() {
  if (!g_kept) return nullptr;
  if (!g_watch->Unchanged() || !StampsStand()) {
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
  g_watched_files.clear();
  g_stamps.clear();
  std::unordered_set<std::string> stamped;
  for (const auto& [key, folder] : g_read.folders) {
    if (!g_watch->Watch(folder)) {
      // No notice to wait for: the folder is looked at at every request.
      TellStamped(folder);
      g_stamps.push_back(platform::StampOf(folder));
      stamped.insert(key);
    }
    g_watched.insert(key);
  }
  for (const auto& [key, file] : g_read.files) {
    if (stamped.count(platform::FolderKeyOf(file)) != 0)
      g_stamps.push_back(platform::StampOf(file));
  }
  // A file read that has other names may change through one of them
  // elsewhere: it is watched itself, or stamped.
  for (const auto& [key, file] : g_read.other_names) {
    g_watched_files.insert(key);
    if (stamped.count(platform::FolderKeyOf(file)) != 0) continue;  // stamped above
    if (!g_watch->WatchFile(file)) g_stamps.push_back(platform::StampOf(file));
  }
  g_failures_before = platform::FailuresSoFar();
  platform::StartRecordingFolders();
  g_recording = true;
}

void EndBuild(const std::string& page, bool told_operator) {
  if (!g_recording) return;
  g_recording = false;
  g_read = platform::StopRecordingFolders();
  bool watched = true;
  for (const auto& [key, folder] : g_read.folders) watched = watched && g_watched.count(key) != 0;
  for (const auto& [key, file] : g_read.other_names) {
    watched = watched && g_watched_files.count(key) != 0;
  }
  if (watched && !told_operator && platform::FailuresSoFar() == g_failures_before) {
    g_page = page;
    g_kept = true;
    ++g_page_number;
  }
}

common::CompressedForms KeptForms(std::string_view content) {
  if (!g_kept) return {};
  // The kept page itself, answered from where it is kept, is known by where
  // it lies; the answer of the build that kept it, by its bytes.
  const bool kept = content.data() == g_page.data() && content.size() == g_page.size();
  if (!kept && content != g_page) return {};
  if (g_forms && g_forms->page == g_page_number) {
    if (!g_forms->done.load(std::memory_order_acquire)) return {};
    return {g_forms->gzip_made ? &g_forms->gzip : nullptr,
            g_forms->brotli_made ? &g_forms->brotli : nullptr};
  }
  // One page's forms at a time: those of a page no longer kept end first.
  if (g_forms && !g_forms->done.load(std::memory_order_acquire)) return {};
  auto job = std::make_shared<FormsJob>();
  job->page = g_page_number;
  job->source = std::string(content);
  g_forms = job;
  std::thread([job] {
    job->gzip_made = common::Compress(common::Coding::kGzip, job->source, job->gzip);
    job->brotli_made = common::CanCompress(common::Coding::kBrotli) &&
                       common::Compress(common::Coding::kBrotli, job->source, job->brotli);
    job->done.store(true, std::memory_order_release);
  }).detach();
  return {};
}

void WaitForKeptForms() {
  while (g_forms && !g_forms->done.load(std::memory_order_acquire)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void ForgetKeptPage() {
  g_keeping = false;
  g_kept = false;
  g_page.clear();
  g_watch.reset();
  g_read = {};
  g_stamps.clear();
  WaitForKeptForms();
  g_forms.reset();
  if (g_recording) platform::StopRecordingFolders();
  g_recording = false;
}

}  // namespace page
