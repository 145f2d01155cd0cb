#include "page/page_head.h"

#include <string>

#include "catalogue/areas.h"
#include "common/page_text.h"
#include "page/area_scripts.h"
#include "page/keyboard_block.h"
#include "site_settings.h"

namespace page {
namespace {

using catalogue::S_Rec;
using common::AddToPage;

constexpr std::string_view kScriptStart[] = {
    "<Script Language=\"JavaScript\">",
    "function returntxt(txt) {",
    "return txt",
    "}",
    "function initArray(){",
    " this.length = initArray.arguments.length;",
    " for (var i = 0; i < this.length; i++){",
    "  this[i] = initArray.arguments[i];",
    " }",
    "} ",
    "var x = 0;",
    "var color = new initArray(\"Green\",\"Blue\",\"red\",\"#E4FBE3\");",
    "function chcolor(){",
    " document.all.c.style.color = color[x];",
    " for (var i=1;i<document.EntryForm.elements.length;i++) {",
    "  var e = document.EntryForm.elements[i];",
    "  if (e.name != document.EntryForm.elements[document.EntryForm.elements.length -1].name)",
    "     (x < color.length-1) ? x++ : x = 0;",
    "  else color[x]=\"#E4FBE3\";",
    " }",
    " document.all.c.innerHTML=\"<font color='Red'><b>&nbsp;&nbsp;&nbsp;Books Selected:&nbsp;</b></font>\";",
    " document.EntryForm.text1.style.visibility=\"visible\";",
    "} ",
    "function initialize(){",
    " document.EntryForm.text1.value=0;",
    " for (var i=1;i<document.EntryForm.elements.length;i++) {",
    "  var e = document.EntryForm.elements[i];",
    "  if (",
};

constexpr std::string_view kInitializeEnd[] = {
    "e.name!= \"FINDALL\" && e.name!= \"FntSize\" && e.checked)",
    "  document.EntryForm.text1.value++ }",
    "}",
    "function countchecked(){ ",
    " if (document.activeElement.checked) ",
    "  document.EntryForm.text1.value++;",
    " else if (!document.activeElement.checked)",
    "  document.EntryForm.text1.value--;",
    "}",
    "function ColorOnStart(){",
};

constexpr std::string_view kAfterColorOnStart[] = {
    "}",
    "function unckeck(){",
};

constexpr std::string_view kAfterUnckeck[] = {
    "}",
    "function setfocus()",
    "{document.EntryForm.txtsearch1.focus()}",
};

constexpr std::string_view kScriptEnd[] = {
    "function changeBox(cbox) {",
    "box = eval(cbox);",
    "box.checked = !box.checked;",
    "}",
    "var x,y,timer;",
    "function showbox(content)",
    " {",
    "  var left_pos=\".pixelLeft=\";",
    "  var top_pos=\".pixelTop=\";",
    "  var doc=\"\";",
    "  var stl=\".style\";",
    "  box = document.all.popupbox.style ;",
    "  box.visibility=\"visible\";",
    "  popupbox.innerHTML=\"<table border='1'cellspacing='0' cellpadding='0'  bordercolor=G bordercolordark='White'>\"+\"<tr><td valign='middle'  align= 'center' bgcolor='Yellow' bordercolordark='White'><font face='Arial'  size='1' color='Black'> \"+content+\"</font></td></tr></table>\";",
    "  eval(doc+\"popupbox\"+stl+left_pos+(x));",
    "  eval(doc+\"popupbox\"+stl+top_pos+(y));",
    "  timer =setTimeout(\"showbox('name')\",1000000);",
    "  }",
    "function closebox(){",
    "\tclearTimeout(timer);",
    "\tpopupbox.innerHTML=\"\";",
    "}",
    "function Handlexy(e) {",
    " x = (document.layers) ? e.pageX : event.clientX;",
    " y = (document.layers) ? e.pageY : event.clientY + document.body.scrollTop+25;",
    "}",
    "</Script>",
    "<BODY onload= 'setfocus(); setInterval(\"chcolor()\",0); initialize();' bgcolor=\"#E4FBE3\" style=\"float: left; font-family: Arial; text-align: Left\">",
    "<form name=\"EntryForm\" action=\"qrygate.exe/form\" method=\"POST\">",
    "<p align=\"center\">",
};

// The counter box of selected books, hidden until the script has counted.
// The legacy page writes "visibility=hidden", which is no CSS (browsers show
// the box at once); today's browsers get "visibility:hidden".
constexpr std::string_view kCounterBoxStart =
    "<!--webbot bot=\"Validation\" S-Data-Type=\"Integer\" S-Number-Separators=\"x\"S-Validation-Constraint=\"Greater than or equal to\" S-Validation-Value=\"0\" --><INPUT id=text1 name=text1 style=\"visibility";
constexpr std::string_view kCounterBoxEnd =
    "hidden; height: 17; left: 170px; top: 208px; width: 46; font-family: Arial; font-weight: bold; font-size: 10pt;color: Red; background-color:#E4FBE3; border-style: none; border-width: medium; margin-top: 0; margin-bottom: 0\" border=0 size=\"20\" disabled></P></td>";

constexpr std::string_view kFormTop[] = {
    "<a href=\"arPanel.exe\"><img src=\"../images/arabi.gif\" ",
    // alt text: "click for the Arabic page" (alef noon qaf reh, lam lam sad feh hah teh-marbuta,
    // alef lam ain reh beh yeh teh-marbuta)
    "alt=\"\xC7\xE4\xDE\xD1 \xE1\xE1\xD5\xDD\xCD\xC9 \xC7\xE1\xDA\xD1\xC8\xED\xC9\" border=\"1\"></a></font></b>",
    "</p>",
    "<HR>",
    "<input type=\"hidden\" name=\"MenuLanguage\" value=\"EN\">",
    "<table align=\"center\" border=\"0\" cellPadding=\"1\" cellSpacing=\"0\" width=\"95%\" style=\"font-family: Arial; font-size: 8pt\">",
    "<tbody>",
    "<tr>",
    "<td align=\"right\" width=\"32%\">",
    "<p align=\"center\"><b>Search Phrases&nbsp;&nbsp;</b><input type=\"radio\" value=\"FINDALL\" checked name=\"FINDALL\">All&nbsp;",
    "<input type=\"radio\" name=\"FINDALL\" value=\"FINDANY\">Any</p>",
    "</td>",
    "<td align=\"left\" width=\"18%\">",
    "<p align=\"center\"><input name=\"S1\" type=\"submit\" value=\"Start Search\">&nbsp;&nbsp;</p>",
    "</td>",
    "<td align=\"left\" rowSpan=\"7\" vAlign=\"center\" width=\"50%\">",
    "<p align=\"center\" dir=\"rtl\">",
    "<b>",
    "Font Size in Results:&nbsp;&nbsp;",
    "<input name=\"FntSize\" type=\"radio\" value=\"FSMALL\">Small&nbsp;&nbsp;",
    "<input name=\"FntSize\" type=\"radio\" value=\"FMEDIUM\" checked>Medium&nbsp;&nbsp;",
    "<input name=\"FntSize\" type=\"radio\" value=\"FLARGE\">Large",
    "</b></p>",
    "<b><u>Each phrase</u> can be according to either of the following 2 styles:</b>",
    "<p><b><u>1- Exact match.</u></b> Example: &quot;these news&quot;. Only this exact phrase will be acceptable.<br>",
    "<b><u>2- Either/Or.</u></b> Example: &quot;new \\ news&quot;. (Any of the 3 symbols: | \\ / may be used for &quot;OR&quot;)</p>",
    "<p><b>Notes:</b> You cannot mix both styles within the same search phrase, and \"harakaat\" are ignored during search.</td>",
    "</tr>",
    "<tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"center\"><input name=\"txtsearch1\" size=\"50\" value=\"observations\"></p>",
    "</td>",
    "</tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"center\"><input name=\"txtsearch2\" size=\"50\" value=\"modern\"></p>",
    "</td>",
    "<tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"center\"><input name=\"txtsearch3\" size=\"50\" value=\"scientific\"></p>",
    "</td>",
    "</tr>",
    "<tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"center\"><input name=\"txtsearch4\" size=\"50\" value=\"data\"></p>",
    "</td>",
    "</tr>",
    "<tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"center\"><input name=\"txtsearch5\" size=\"50\"></p>",
    "</td>",
    "</tr>",
    "<tr>",
    "<td align=\"left\" colSpan=\"2\" width=\"50%\">",
    "<p align=\"Center\"><b>Select Search Books (below)",
    "<label id=\"c\" style=\"COLOR: Red; FONT-WEIGHT: bold\"><Script Language=\"JavaScript\">document.write(returntxt(\"&nbsp;&nbsp;&nbsp;Please Wait ......\"));</Script></label></b>",
};

constexpr std::string_view kFormTopEnd[] = {
    "</tr>",
    "</tbody>",
    "</table>",
};

static_assert(common::HoldsNoLineBreak(kScriptStart) && common::HoldsNoLineBreak(kInitializeEnd) &&
              common::HoldsNoLineBreak(kAfterColorOnStart) &&
              common::HoldsNoLineBreak(kAfterUnckeck) && common::HoldsNoLineBreak(kScriptEnd) &&
              common::HoldsNoLineBreak(kFormTop) && common::HoldsNoLineBreak(kFormTopEnd) &&
              kCounterBoxStart.find_first_of("\r\n") == std::string_view::npos &&
              kCounterBoxEnd.find_first_of("\r\n") == std::string_view::npos);

template <std::size_t N>
void AddLines(const std::string_view (&lines)[N]) {
  for (std::string_view line : lines) AddToPage(common::Piece::Checked(line));
}

// The ColorOnStart lines of one area: paint its header cell when any present
// book or the area's "All Books" box is ticked, yellow when none is. Each
// book's test is a line of its own; they hold no line break, so they are
// appended together.
void ColorOnStartOf(const std::string& id, const AreaTerms& t) {
  AddToPage("if (");
  AddToPage(t.checked_or);
  AddToPage({"document.EntryForm.", id, "ck.checked){"});
  AddToPage({"document.all.", id, ".style.background=\"#FF99FF\"; }"});
  AddToPage("else if (");
  AddToPage(t.unchecked_and);
  AddToPage({"!document.EntryForm.", id, "ck.checked){"});
  AddToPage({"document.all.", id, ".style.background=\"#FFFF00\"; }"});
}

void UnckeckOf(const std::string& id, const AreaTerms& t) {
  AddToPage("if (");
  AddToPage(t.unchecked_or);
  AddToPage({"document.EntryForm.", id, "ck.checked)"});
  AddToPage({"document.EntryForm.", id, "ck.click();"});
}

}  // namespace

void WritePageHead() {
  common::SetPageText("<HTML>");
  AddToPage("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1256\">");
  WriteKeyboardBlock(false);
  AddToPage("<HEAD><TITLE>Kutubix - Search Engine</TITLE></HEAD>");
}

void WriteFixedScript() {
  AddLines(kScriptStart);
  for (int s = catalogue::AreaCount - 1; s >= 0; --s) {
    AddToPage({"e.name!=\"", S_Rec[s].AreaId, "\" && "});
  }
  AddLines(kInitializeEnd);
  const AllAreaTerms terms = ComputeAreaTerms();
  for (int s = catalogue::AreaCount - 1; s >= 0; --s) ColorOnStartOf(S_Rec[s].AreaId, terms[s]);
  AddLines(kAfterColorOnStart);
  for (int s = catalogue::AreaCount - 1; s >= 0; --s) UnckeckOf(S_Rec[s].AreaId, terms[s]);
  AddLines(kAfterUnckeck);
  WriteAreaScripts(terms);
  AddLines(kScriptEnd);
  AddToPage("<b><font size=\"" + std::to_string(FontSizeBase + 4) +
            "\">Al Kutubix Project - Search Engine </font></b>");
  AddToPage("<b><font color=\"Green\"><font size=\"" + std::to_string(FontSizeBase + 2) + "\">");
  AddLines(kFormTop);
  AddToPage({common::Piece::Checked(kCounterBoxStart),
             common::Piece::Checked(kTodaysBrowsers ? ":" : "="),
             common::Piece::Checked(kCounterBoxEnd)});
  AddLines(kFormTopEnd);
}

}  // namespace page
