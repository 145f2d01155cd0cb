#include "frame/page_text.h"

namespace frame {

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
    bool is_break = false;
    if (c == '\r' && (last || in[i + 1] == '\n')) {
      if (!out.empty() && out.back() == '\n') out.pop_back();
      is_break = true;
    } else if (c == '\n' && (last || in[i + 1] == '\r' || in[i + 1] == '\n')) {
      if (!out.empty() && (out.back() == '\r' || out.back() == '\n')) out.pop_back();
      is_break = true;
    }
    ++i;
    if (!is_break) {
      out += c;
      continue;
    }
    out += "<Br>";
    for (int skipped = 0; skipped < 3 && i < n; ++skipped) out += in[i++];
  }
  return out;
}

void AddToPage(std::string_view text) {
  if (text.find_first_of("\r\n") == std::string_view::npos) {
    PageText.append(text);
  } else {
    PageText += LineBreaksToHtml(text);
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

void Trace(std::string_view /*text*/) {}

}  // namespace frame
