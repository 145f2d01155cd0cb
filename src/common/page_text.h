// The page text buffer: the whole HTML page is collected in one process-wide
// byte string and handed to the response in one piece. Appends differ only in
// the separator they put first and in whether line breaks become "<Br>".
#pragma once
#include <charconv>
#include <initializer_list>
#include <string>
#include <string_view>

namespace common {

extern std::string PageText;

// Replaces the page text (the page head starts the page this way).
void SetPageText(std::string_view text);

// A number's decimal digits, without a temporary string.
class Decimal {
 public:
  explicit Decimal(long value) {
    auto result = std::to_chars(digits_, digits_ + sizeof digits_, value);
    length_ = static_cast<std::size_t>(result.ptr - digits_);
  }
  operator std::string_view() const { return std::string_view(digits_, length_); }

 private:
  char digits_[24];
  std::size_t length_;
};

class PageFragment;

// A piece of page text. String literals and numbers are known, when the
// program is compiled, to hold no line break; other text is looked at.
class Piece {
 public:
  template <std::size_t N>
  consteval Piece(const char (&literal)[N]) : text_(literal, N - 1), plain_(true) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
      if (literal[i] == '\r' || literal[i] == '\n') throw "a literal piece holds a line break";
    }
  }
  Piece(const Decimal& number) : text_(number), plain_(true) {}
  Piece(const std::string& text) : text_(text), plain_(false) {}
  Piece(std::string_view text) : text_(text), plain_(false) {}
  Piece(const PageFragment& fragment);

  // Text that a static_assert of HoldsNoLineBreak has already checked.
  static constexpr Piece Checked(std::string_view text) { return Piece(text, true); }

  std::string_view text() const { return text_; }
  bool plain() const { return plain_; }

 private:
  constexpr Piece(std::string_view text, bool plain) : text_(text), plain_(plain) {}
  std::string_view text_;
  bool plain_;
};

// Text put together once and written to the page more than once. It keeps
// whether any of its pieces held a line break, so that text made only of
// literals and numbers is copied to the page without being looked at again.
class PageFragment {
 public:
  void Reserve(std::size_t bytes);
  void Append(std::initializer_list<Piece> pieces);
  bool empty() const { return text_.empty(); }
  std::string_view text() const { return text_; }
  bool plain() const { return plain_; }

 private:
  std::string text_;
  bool plain_ = true;
};

inline Piece::Piece(const PageFragment& fragment)
    : text_(fragment.text()), plain_(fragment.plain()) {}

// For static_assert over tables of fixed lines.
template <std::size_t N>
constexpr bool HoldsNoLineBreak(const std::string_view (&lines)[N]) {
  for (std::string_view line : lines) {
    for (char c : line) {
      if (c == '\r' || c == '\n') return false;
    }
  }
  return true;
}

// Appends LineBreaksToHtml(text), with no separator.
void AddToPage(Piece text);
// The pieces of one item, as if joined first (no temporary string).
void AddToPage(std::initializer_list<Piece> pieces);

// Appends CR LF, then `text` unchanged.
void AddPageLine(std::string_view text);
// Appends `text` unchanged, after CR LF unless the page already ends in
// CR LF CR LF and `text` starts with CR LF.
void AddPageBlock(std::string_view text);
// Diagnostic lines of the handler and the scans; they are discarded. Inline,
// so that what only a trace line needs (a number's digits) is not made.
inline void Trace(std::string_view /*text*/) {}
inline void Trace(std::initializer_list<std::string_view> /*pieces*/) {}

// Turns line breaks into "<Br>" in one pass. A CR before LF, or an LF before
// CR, LF or the end, is removed together with a line-break character just
// before it, and "<Br>" begins where the removed character stood, counted in
// the text after the removals: when two characters went, the byte that
// followed them comes first. The three bytes after the "<Br>" are copied
// without being examined.
std::string LineBreaksToHtml(std::string_view text);

}  // namespace common
