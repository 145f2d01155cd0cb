#include "common/page_text.h"

#include <charconv>
#include <cstdint>
#include <cstring>

namespace common {

std::string PageText;

namespace {
// Room for a full-library page without regrowth.
constexpr std::size_t kInitialCapacity = std::size_t{512} * 1024;
}  // namespace

void SetPageText(std::string_view text) {
  PageText.assign(text);
  if (PageText.capacity() < kInitialCapacity) PageText.reserve(kInitialCapacity);
}

std::string LineBreaksToHtml(std::string_view in) {
  std::string out;
  out.reserve(in.size() + in.size() / 8 + 8);
  std::size_t i = 0;
  const std::size_t n = in.size();
  while (i < n) {
    char c = in[i];
    bool last = i + 1 == n;
    bool is_break = false, took_previous = false;
    if (c == '\r' && (last || in[i + 1] == '\n')) {
      took_previous = !out.empty() && out.back() == '\n';
      is_break = true;
    } else if (c == '\n' && (last || in[i + 1] == '\r' || in[i + 1] == '\n')) {
      took_previous = !out.empty() && (out.back() == '\r' || out.back() == '\n');
      is_break = true;
    }
    ++i;
    if (!is_break) {
      out += c;
      continue;
    }
    if (took_previous) {
      // Two characters went, so the byte after the break has moved back to
      // where "<Br>" is to begin minus one: it stands before the "<Br>".
      out.pop_back();
      if (i < n) out += in[i++];
    }
    out += "<Br>";
    for (int skipped = 0; skipped < 3 && i < n; ++skipped) out += in[i++];
  }
  return out;
}

namespace {

// True when the bytes hold a CR or an LF; eight bytes at a time.
bool HasLineBreak(const char* p, std::size_t n) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    std::uint64_t cr = word ^ (kOnes * '\r'), lf = word ^ (kOnes * '\n');
    if ((((cr - kOnes) & ~cr) | ((lf - kOnes) & ~lf)) & kHighs) return true;
  }
  for (; i < n; ++i) {
    if (p[i] == '\r' || p[i] == '\n') return true;
  }
  return false;
}

}  // namespace

void AddToPage(Piece text) {
  if (text.plain() || !HasLineBreak(text.text().data(), text.text().size())) {
    PageText.append(text.text());
  } else {
    PageText += LineBreaksToHtml(text.text());
  }
}

void AddToPage(std::initializer_list<Piece> pieces) {
  std::size_t start = PageText.size();
  std::size_t total = 0;
  bool plain = true;
  for (const Piece& piece : pieces) {
    total += piece.text().size();
    plain = plain && (piece.plain() || !HasLineBreak(piece.text().data(), piece.text().size()));
  }
  // One growth for the whole item, then the pieces copied into place.
  PageText.resize(start + total);
  char* out = PageText.data() + start;
  for (const Piece& piece : pieces) {
    std::memcpy(out, piece.text().data(), piece.text().size());
    out += piece.text().size();
  }
  if (!plain) {
    std::string converted = LineBreaksToHtml(std::string_view(PageText).substr(start));
    PageText.resize(start);
    PageText += converted;
  }
}

Decimal::Decimal(long value) {
  auto result = std::to_chars(digits_, digits_ + sizeof digits_, value);
  length_ = static_cast<std::size_t>(result.ptr - digits_);
}

void AddPageLine(std::string_view text) {
  PageText += "\r\n";
  PageText.append(text);
}

void AddPageBlock(std::string_view text) {
  std::size_t n = PageText.size();
  bool page_ends_blank = n >= 4 && PageText.compare(n - 4, 4, "\r\n\r\n") == 0;
  bool text_starts_break = text.size() >= 2 && text[0] == '\r' && text[1] == '\n';
  if (!(page_ends_blank && text_starts_break)) PageText += "\r\n";
  PageText.append(text);
}

void Trace(std::string_view /*text*/) {}
void Trace(std::initializer_list<std::string_view> /*pieces*/) {}

}  // namespace common
