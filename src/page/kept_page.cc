#include "page/kept_page.h"

#include <memory>

#include "platform/folder_watch.h"

namespace page {
namespace {

bool g_keeping = false;
bool g_kept = false;
std::string g_page;
std::unique_ptr<platform::FolderWatch> g_watch;

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

bool WatchBeforeBuilding(const std::vector<std::string>& folders) {
  g_kept = false;
  g_page.clear();
  if (!g_keeping) return false;
  if (!g_watch) g_watch = std::make_unique<platform::FolderWatch>();
  g_watch->Restart();
  for (const std::string& folder : folders) {
    if (!g_watch->Watch(folder)) return false;
  }
  return true;
}

void KeepPage(std::string page) {
  g_page = std::move(page);
  g_kept = true;
}

void ForgetKeptPage() {
  g_keeping = false;
  g_kept = false;
  g_page.clear();
  g_watch.reset();
}

}  // namespace page
