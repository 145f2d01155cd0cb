#include "page/keyboard_block.h"

#include <string>

#include "common/page_text.h"
#include "site_settings.h"

namespace page {
namespace {

using common::AddPageLine;

struct Key {
  const char* coords;
  const char* letter;  // one Windows-1256 byte
};

// Right to left along each row of the keyboard image; the last key is the
// wide space bar. From the table src/page/keyboard_keys.txt.
const Key kKeys[] = {
#include "keyboard_keys.inc"
};

const char* const kEnglishSteps[] = {
    "            <li>On the keyboard image to the right, click the keys for the word/s you want</li>",
    "            <li>With the mouse, select the word/s that you typed</li>",
    "            <li>Right-click with mouse and &quot;copy&quot;</li>",
    "            <li>Now right click on any search phrase below, and &quot;paste&quot;</li>",
};

// The same four steps in Arabic: click the keys on the picture to type the
// word or words; select them with the mouse; right-click and copy; right-click
// on any search phrase below, then paste.
const char* const kArabicSteps[] = {
    "            <li>\xC7\xE4\xDE\xD1 \xDA\xE1\xEC \xE3\xDD\xC7\xCA\xED\xCD \xC7\xE1\xD5\xE6\xD1\xC9 "
    "\xE1\xDF\xCA\xC7\xC8\xC9 \xC7\xE1\xDF\xE1\xE3\xC9 \xC3\xE6 \xC7\xE1\xDF\xE1\xE3\xC7\xCA</li>",
    "            <li>\xCD\xCF\xCF \xC7\xE1\xDF\xE1\xE3\xC7\xCA \xC8\xC7\xE1\xDD\xC3\xD1\xC9</li>",
    "            <li>\xC7\xE4\xDE\xD1 \xC8\xC7\xE1\xD2\xD1 \xC7\xE1\xC3\xED\xE3\xE4 "
    "\xE6\xC7\xCE\xCA\xD1 &quot;\xE4\xD3\xCE&quot;</li>",
    "            <li>\xC7\xE4\xDE\xD1 \xC8\xC7\xE1\xD2\xD1 \xC7\xE1\xC3\xED\xE3\xE4 \xDA\xE1\xEC "
    "\xC3\xED \xDA\xC8\xC7\xD1\xC9 \xC8\xCD\xCB \xC3\xCF\xE4\xC7\xE5\xA1",
    "            \xCB\xE3 \xC7\xCE\xCA\xD1 &quot;\xE1\xD5\xDE&quot;</li>",
};

// A line with the hand cursor's name between `before` and `after`.
std::string WithHandCursor(std::string_view before, std::string_view after) {
  std::string line(before);
  line.append(kHandCursor).append(after);
  return line;
}

void WriteKeyboardMap() {
  AddPageLine("<STYLE TYPE=\"text/css\">");
  AddPageLine(WithHandCursor("<!--.ALL   {CURSOR:", ";}"));
  AddPageLine(".style1 {FONT-FAMILY:tahoma (arabic);FONT-SIZE:16px;color:green}");
  AddPageLine("-->");
  AddPageLine("</style>");
  AddPageLine("<MAP NAME=\"Key\">");
  bool first = true;
  for (const Key& key : kKeys) {
    AddPageLine(std::string("<Area SHAPE=\"RECT\" COORDS=\"") + key.coords + "\"" +
                (first ? "" : " NOHREF") +
                " onclick=\"frmFind.keywords.value=frmFind.keywords.value+'" + key.letter +
                "';\">");
    first = false;
  }
  AddPageLine("</MAP>");
  AddPageLine("");
}

}  // namespace

void WriteKeyboardBlock(bool arabic) {
  AddPageLine("<Center>");
  AddPageLine("<FORM action=\"\" name=frmFind>");
  AddPageLine("<Table border=0 width=\"90%\">");
  AddPageLine("<TR>");
  AddPageLine("<TD align=\"center\">");
  AddPageLine("<DIV ID=\"Keys\" style=\"display:none;\">");
  AddPageLine("  <div align=\"center\">");
  if (arabic) {
    AddPageLine(
        "    <table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" width=\"100%\" "
        "bordercolor=\"#FF00FF\"  style=\"font-weight: bold\">");
  } else {
    AddPageLine(
        "    <table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" width=\"100%\" "
        "bordercolor=\"#FF00FF\">");
  }
  AddPageLine("      <tr>");
  AddPageLine("        <td width=\"100%\" style=\"font-size: 8pt\" colspan=\"2\">");
  AddPageLine("        </td>");
  AddPageLine("      </tr>");
  AddPageLine("      <tr>");
  if (arabic) {
    AddPageLine("        <td width=\"50%\" style=\"font-size: 12pt\" rowspan=\"2\">");
    AddPageLine("          <ol>");
    for (const char* step : kArabicSteps) AddPageLine(step);
  } else {
    AddPageLine("        <td width=\"50%\" style=\"font-size: 8pt\" rowspan=\"2\">");
    AddPageLine("          <ol>");
    for (const char* step : kEnglishSteps) AddPageLine(step);
  }
  AddPageLine("          </ol>");
  AddPageLine("        </td>");
  AddPageLine("        <td width=\"50%\" height=\"0\">");
  AddPageLine(
      "          <p align=\"center\"><input type=\"text\" name=\"keywords\" size=\"50\" "
      "style=\"text-align: Right\">");
  AddPageLine("      </td>");
  AddPageLine("      </tr>");
  AddPageLine("      <tr>");
  AddPageLine("        <td width=\"50%\">");
  AddPageLine("          <p align=\"center\">&nbsp;");
  WriteKeyboardMap();
  AddPageLine(WithHandCursor(
      "<IMG SRC=\"./images/keyboard/keyboard.gif\" BORDER=0 USEMAP=\"#Key\" style=\"CURSOR:",
      ";\">"));
  AddPageLine("      </td>");
  AddPageLine("      </tr>");
  AddPageLine("    </table>");
  AddPageLine("  </div>");
  AddPageLine("</DIV>");
  AddPageLine("</table>");
  AddPageLine(WithHandCursor(
      "<img id=img1 border=0 src=\"./images/keyboard/Arb-Keyboard-t.gif\" style=\"CURSOR:",
      ";\">"));
  // Today's browsers run no <script for= event=> handler: the same three
  // statements become the picture's click handler.
  AddPageLine(kTodaysBrowsers ? "<script>img1.onclick = function () {"
                              : "<script for=img1 event=onclick>");
  AddPageLine("Keys.style.display=\"\"");
  AddPageLine("img1.style.display=\"none\"");
  AddPageLine("frmFind.keywords.value=\"\"");
  AddPageLine(kTodaysBrowsers ? "}</script>" : "</script>");
  AddPageLine("</form>");
  AddPageLine("</Center>");
  AddPageLine("");
}

}  // namespace page
