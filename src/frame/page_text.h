// The page text buffer: the whole HTML page is collected in one process-wide
// byte string and handed to the response in one piece. Appends differ only in
// the separator they put first and in whether line breaks become "<Br>".
#pragma once
#include <string>
#include <string_view>

namespace frame {

extern std::string PageText;

// Replaces the page text (the page head starts the page this way).
void SetPageText(std::string_view text);

// Appends LineBreaksToHtml(text), with no separator.
void AddToPage(std::string_view text);
// Appends CR LF, then `text` unchanged.
void AddPageLine(std::string_view text);
// Appends `text` unchanged, after CR LF unless the page already ends in
// CR LF CR LF and `text` starts with CR LF.
void AddPageBlock(std::string_view text);
// Diagnostic lines of the handler and the scans; they are discarded.
void Trace(std::string_view text);

// Turns line breaks into "<Br>" in one pass. A CR before LF, or an LF before
// CR, LF or the end, is removed together with a line-break character just
// before it, "<Br>" stands in its place, and the three bytes after the "<Br>"
// are copied without being examined.
std::string LineBreaksToHtml(std::string_view text);

}  // namespace frame
