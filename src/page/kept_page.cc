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
    ++g_page_number;
  }
}

common::CompressedForms KeptForms(const std::string& content) {
  if (!g_kept) return {};
  if (g_forms && g_forms->page == g_page_number) {
    // Made from an answer of the kept page: the same bytes are one again.
    if (!g_forms->done.load(std::memory_order_acquire) || g_forms->source != content) return {};
    return {g_forms->gzip_made ? &g_forms->gzip : nullptr,
            g_forms->brotli_made ? &g_forms->brotli : nullptr};
  }
  if (content.compare(0, g_page.size(), g_page) != 0) return {};
  // One page's forms at a time: those of a page no longer kept end first.
  if (g_forms && !g_forms->done.load(std::memory_order_acquire)) return {};
  auto job = std::make_shared<FormsJob>();
  job->page = g_page_number;
  job->source = content;
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
  g_read.clear();
  WaitForKeptForms();
  g_forms.reset();
  if (g_recording) platform::StopRecordingFolders();
  g_recording = false;
}

}  // namespace page
