#include "platform/names.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

bool MatchPlain(std::string_view p, std::string_view n) {
  std::size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (pi < p.size() && (p[pi] == '?' || UpperAscii(p[pi]) == UpperAscii(n[ni]))) {
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

// `tail` ends `name`, letter case ignored.
bool EndsWithCaseless(std::string_view name, std::string_view tail) {
  if (name.size() < tail.size()) return false;
  name.remove_prefix(name.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    if (UpperAscii(name[i]) != UpperAscii(tail[i])) return false;
  }
  return true;
}

// "*", plain characters, "*": the name holds them somewhere.
bool ContainsCaseless(std::string_view name, std::string_view part) {
  return FindCaseless(name, part) != std::string_view::npos;
}

}  // namespace

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

std::size_t FindCaseless(std::string_view text, std::string_view part) {
  if (part.empty()) return 0;
  if (part.size() > text.size()) return std::string_view::npos;
  const char first = UpperAscii(part[0]);
  // A first byte that is no letter has one form: the system's byte search
  // finds where a match may start.
  const bool first_is_letter = first >= 'A' && first <= 'Z';
  const std::size_t last_start = text.size() - part.size();
  for (std::size_t at = 0; at <= last_start; ++at) {
    if (!first_is_letter) {
      const void* hit = std::memchr(text.data() + at, first, last_start - at + 1);
      if (hit == nullptr) break;
      at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    } else if (UpperAscii(text[at]) != first) {
      continue;
    }
    std::size_t k = 1;
    while (k < part.size() && UpperAscii(text[at + k]) == UpperAscii(part[k])) ++k;
    if (k == part.size()) return at;
  }
  return std::string_view::npos;
}

WildcardPattern::WildcardPattern(std::string_view pattern) : pattern_(pattern) {
  if (pattern == "*" || pattern == "*.*") {
    kind_ = Kind::kAll;
    return;
  }
  if (pattern.size() > 1 && pattern[0] == '*') {
    // The common folder patterns: "*.TXT", "*.IX*".
    std::size_t wild = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
      if (pattern[i] == '*' || pattern[i] == '?') {
        wild = i;
        break;
      }
    }
    if (wild == 0) {
      kind_ = Kind::kSuffix;
      part_ = pattern.substr(1);
      return;
    }
    // ("*.X.*" is left to the general rule: a trailing ".*" is optional.)
    if (wild == pattern.size() - 1 && pattern[wild] == '*' && pattern[wild - 1] != '.') {
      kind_ = Kind::kContains;
      part_ = pattern.substr(1, wild - 1);
      return;
    }
  }
  kind_ = Kind::kGeneral;
}

bool WildcardPattern::Matches(std::string_view name) const {
  switch (kind_) {
    case Kind::kAll:
      return true;
    case Kind::kSuffix:
      return EndsWithCaseless(name, part_);
    case Kind::kContains:
      return ContainsCaseless(name, part_);
    case Kind::kGeneral:
      break;
  }
  if (MatchPlain(pattern_, name)) return true;
  if (pattern_.size() >= 2 && pattern_.substr(pattern_.size() - 2) == ".*") {
    return MatchPlain(pattern_.substr(0, pattern_.size() - 2), name);
  }
  return false;
}

std::string TemporaryName(const std::string& kind, std::uint64_t unique) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name = "~enPanel-" + kind + "-";
  for (int shift = 60; shift >= 0; shift -= 4) name += kHex[(unique >> shift) & 0xF];
  return name + ".tmp";
}

bool IsTemporaryName(std::string_view name) {
  constexpr std::string_view kStart = "~enPanel-", kEnd = ".tmp";
  if (name.size() < kStart.size() + 1 + 1 + 16 + kEnd.size()) return false;
  if (name.substr(0, kStart.size()) != kStart || name.substr(name.size() - kEnd.size()) != kEnd) {
    return false;
  }
  std::string_view middle = name.substr(kStart.size(), name.size() - kStart.size() - kEnd.size());
  std::size_t dash = middle.size() - 17;
  if (middle[dash] != '-' || dash == 0) return false;
  for (std::size_t i = 0; i < dash; ++i) {
    if (middle[i] < 'a' || middle[i] > 'z') return false;
  }
  for (std::size_t i = dash + 1; i < middle.size(); ++i) {
    char c = middle[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  return WildcardPattern(pattern).Matches(name);
}

std::string JoinName(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  char last = folder.back();
  if (last == '/' || last == '\\') return folder + name;
  return folder + (folder.find('\\') != std::string::npos ? "\\" : "/") + name;
}

void SortAsListed(std::vector<DirEntry>& entries) {
  // Sorted by the first 16 bytes of the upper-case name as two numbers; only
  // names alike that far are compared whole.
  struct Key {
    std::uint64_t high, low;
    std::uint32_t index;
  };
  std::vector<Key> keys(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].name;
    std::uint64_t part[2] = {0, 0};
    for (std::size_t k = 0; k < 16 && k < name.size(); ++k) {
      part[k / 8] |= static_cast<std::uint64_t>(static_cast<unsigned char>(UpperAscii(name[k])))
                     << (56 - 8 * (k % 8));
    }
    keys[i] = Key{part[0], part[1], static_cast<std::uint32_t>(i)};
  }
  auto longer_less = [&](const Key& a, const Key& b) {
    const std::string& x = entries[a.index].name;
    const std::string& y = entries[b.index].name;
    std::size_t n = std::min(x.size(), y.size());
    for (std::size_t k = 16; k < n; ++k) {
      char cx = UpperAscii(x[k]), cy = UpperAscii(y[k]);
      if (cx != cy) return static_cast<unsigned char>(cx) < static_cast<unsigned char>(cy);
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return a.index < b.index;
  };
  std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return longer_less(a, b);
  });
  // Entries move to their places in place, cycle by cycle.
  std::vector<std::uint32_t> from(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) from[i] = keys[i].index;
  for (std::size_t start = 0; start < from.size(); ++start) {
    if (from[start] == start) continue;
    DirEntry held = std::move(entries[start]);
    std::size_t at = start;
    while (from[at] != start) {
      std::size_t next = from[at];
      entries[at] = std::move(entries[next]);
      from[at] = static_cast<std::uint32_t>(at);
      at = next;
    }
    entries[at] = std::move(held);
    from[at] = static_cast<std::uint32_t>(at);
  }
}

}  // namespace platform
