#include "common/page_text.h"

#include "common/text.h"

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

bool HoldsLineBreak(const Piece& piece) {
  return !piece.plain() &&
         FindLineBreak(piece.text().data(), piece.text().size()) != piece.text().size();
}

}  // namespace

void PageFragment::Reserve(std::size_t bytes) { text_.reserve(bytes); }

void PageFragment::Append(std::initializer_list<Piece> pieces) {
  for (const Piece& piece : pieces) {
    if (HoldsLineBreak(piece)) plain_ = false;
    text_.append(piece.text());
  }
}

void AddToPage(Piece text) {
  if (!HoldsLineBreak(text)) {
    PageText.append(text.text());
  } else {
    PageText += LineBreaksToHtml(text.text());
  }
}

void AddToPage(std::initializer_list<Piece> pieces) {
  const std::size_t start = PageText.size();
  bool plain = true;
  for (const Piece& piece : pieces) {
    plain = plain && !HoldsLineBreak(piece);
    PageText.append(piece.text());
  }
  if (!plain) {
    std::string converted = LineBreaksToHtml(std::string_view(PageText).substr(start));
    PageText.resize(start);
    PageText += converted;
  }
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

}  // namespace common
