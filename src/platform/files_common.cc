#include <algorithm>

#include "platform/files.h"

namespace platform {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchPlain(std::string_view p, std::string_view n) {
  std::size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() && (p[pi] == '?' || Upper(p[pi]) == Upper(n[ni]))) {
      ++pi;
      ++ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

thread_local int g_last_error = 0;

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (MatchPlain(pattern, name)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    return MatchPlain(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

std::string JoinName(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

void SortAsListed(std::vector<DirEntry>& entries) {
  std::vector<std::pair<std::string, std::size_t>> keys;
  keys.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::string key = entries[i].name;
    for (char& c : key) c = Upper(c);
    keys.emplace_back(std::move(key), i);
  }
  std::sort(keys.begin(), keys.end());
  std::vector<DirEntry> sorted;
  sorted.reserve(entries.size());
  for (auto& k : keys) sorted.push_back(std::move(entries[k.second]));
  entries = std::move(sorted);
}

int LastErrorCode() { return g_last_error; }
void SetLastErrorCode(int code) { g_last_error = code; }

bool ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  InputFile file;
  if (!file.Open(path)) return false;
  char chunk[65536];
  for (;;) {
    long n = file.Read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    contents.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace platform
