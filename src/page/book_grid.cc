#include "page/book_grid.h"

#include <string>

#include "catalogue/areas.h"
#include "common/page_text.h"
#include "page/options_handler.h"
#include "site_settings.h"

namespace page {
namespace {

using catalogue::AreaCount;
using catalogue::S_Rec;
using common::AddToPage;

constexpr int kDefaultCheckedBook = 216;

// "hand" is no CSS cursor; today's browsers know the same cursor as "pointer".
constexpr common::Piece kHandCursor =
    kTodaysBrowsers ? common::Piece("CURSOR: pointer") : common::Piece("CURSOR: hand");

void BookCell(const std::string& id, const TFileRow& row) {
  common::Decimal f(row.FileIx);
  AddToPage({"<input type=\"checkbox\" id=\"", id, "cell\" name=\"B", f,
             "\" value=\"ON\" onClick=\"countchecked();unCheckAll", id, "();", "colorcell", id,
             "();", "notAllChecked", id, "()\"",
             std::string_view(row.FileIx == kDefaultCheckedBook ? "Checked>" : ">")});
  AddToPage({"<span id=\"span\" onClick=\"changeBox('document.EntryForm.B",
             f,
             "');",
             "if (document.EntryForm.B",
             f,
             ".checked)",
             " document.EntryForm.text1.value++;",
             "else if (!document.EntryForm.B",
             f,
             ".checked)",
             " document.EntryForm.text1.value--;",
             "unCheckAll",
             id,
             "();colorcell",
             id,
             "(); notAllChecked",
             id,
             "()\" style=\"",
             kHandCursor,
             "\"",
             ">"});
  AddToPage({row.BookName, "<br>", row.InfoLine, "</span>"});
}

}  // namespace

void WriteBookGrid() {
  const std::string cell_size = std::to_string(FontSizeBase + 1);
  AddToPage(
      "<table border=\"2\" width=\"100%\" cellspacing=\"1\" cellpadding=\"0\" "
      "style=\"font-family: Arial\" height=\"719\">");
  AddToPage("<tr>");
  for (int s = AreaCount - 1; s >= 0; --s) {
    AddToPage("<td width=\"10%\" bgcolor=\"Green\" align=\"center\" height=\"20\"><font size=\"" +
              cell_size + "\" color=\"White\"><b>" + S_Rec[s].Caption + "</b></font></th>");
  }
  AddToPage("</tr>");
  AddToPage("<tr>");
  for (int s = AreaCount - 1; s >= 0; --s) {
    const std::string& id = S_Rec[s].AreaId;
    AddToPage("<td id=\"" + id +
              "\" width=\"10%\" valign=\"top\" bgcolor=\"#FFFF00\" align=\"left\" height=\"26\">"
              "<input name=\"" +
              id + "ck\" type=\"checkbox\" onClick=\"CheckAll" + id + "();colorcell" + id +
              "();\">" + "<span id=\"span\" onClick=\"changeBox('document.EntryForm." + id +
              "ck'); CheckAll" + id + "();colorcell" + id + "();\" style=\"" +
              std::string(kHandCursor.text()) + "\">" +
              "<font color=\"Black\"></font><font size=\"" + cell_size +
              "\"> All Books</font></span><br></td>");
  }
  AddToPage("<tr>");
  for (int i = 1; i <= catalogue::MaxAreaRows; ++i) {
    AddToPage("<tr>");
    for (int s = AreaCount - 1; s >= 0; --s) {
      const TFileRow& row = F_Rec[s][i];
      AddToPage({"<td width=\"10%\" valign=\"top\" align=\"left\" height=\"21\"><font size=\"",
                 cell_size, "\">"});
      if (row.FileIx == kSeparatorRow) {
        AddToPage({"<p align=\"center\"><font color=\"Red\" size=\"", cell_size, "\">",
                   S_Rec[s].Caption, "</font></p>"});
      } else if (row.FileIx == kFillerRow) {
        AddToPage("&nbsp;");
      } else {
        BookCell(S_Rec[s].AreaId, row);
      }
      AddToPage("</font></td>");
    }
    AddToPage("</tr>");
  }
  AddToPage("</Table>");
  AddToPage("<Script Language=\"JavaScript\">ColorOnStart();</Script>");
  AddToPage("<p align=\"center\"><font size=\"" + std::to_string(FontSizeBase + 3) +
            "\"><a href=\"" + kMainSiteHomePage + "\">Home Page</a> |");
  AddToPage("<A href=\"#\" onclick=history.back()>Back</A></font></p>");
}

}  // namespace page
