// The page text buffer: the whole HTML page is collected in one process-wide
// byte string and handed to the response in one piece. Appends differ only in
// the separator they put first and in whether line breaks become "<Br>".
#pragma once
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
  explicit Decimal(long value);
  operator std::string_view() const { return std::string_view(digits_, length_); }

 private:
  char digits_[24];
  std::size_t length_;
};

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

  // Text that a static_assert of HoldsNoLineBreak has already checked.
  static constexpr Piece Checked(std::string_view text) { return Piece(text, true); }

  std::string_view text() const { return text_; }
  bool plain() const { return plain_; }

 private:
  constexpr Piece(std::string_view text, bool plain) : text_(text), plain_(plain) {}
  std::string_view text_;
  bool plain_;
};

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
// Diagnostic lines of the handler and the scans; they are discarded.
void Trace(std::string_view text);
void Trace(std::initializer_list<std::string_view> pieces);

// Turns line breaks into "<Br>" in one pass. A CR before LF, or an LF before
// CR, LF or the end, is removed together with a line-break character just
// before it, and "<Br>" begins where the removed character stood, counted in
// the text after the removals: when two characters went, the byte that
// followed them comes first. The three bytes after the "<Br>" are copied
// without being examined.
std::string LineBreaksToHtml(std::string_view text);

}  // namespace common
