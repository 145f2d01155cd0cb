#include "page/book_grid.h"

#include <array>
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

constexpr common::Piece kCursor = common::Piece::Checked(kHandCursor);

// What every book cell of one area repeats: the pieces that name the area,
// put together once per area rather than once per book.
struct AreaCellParts {
  common::PageFragment box_start;     // up to the book's number in the box name
  common::PageFragment box_handlers;  // after it: the box's handlers
  common::PageFragment span_end;      // the end of the span's handler and its style
};

AreaCellParts CellPartsOf(const std::string& id) {
  AreaCellParts parts;
  parts.box_start.Append({"<input type=\"checkbox\" id=\"", id, "cell\" name=\"B"});
  parts.box_handlers.Append({"\" value=\"ON\" onClick=\"countchecked();unCheckAll", id, "();",
                             "colorcell", id, "();", "notAllChecked", id, "()\""});
  parts.span_end.Append({".checked)", " document.EntryForm.text1.value--;", "unCheckAll", id,
                         "();colorcell", id, "(); notAllChecked", id,
                         "()\" style=\"CURSOR: ", kCursor, "\"", ">"});
  return parts;
}

void BookCell(const AreaCellParts& parts, const TFileRow& row) {
  common::Decimal f(row.FileIx);
  AddToPage({parts.box_start, f, parts.box_handlers,
             row.FileIx == kDefaultCheckedBook ? common::Piece("Checked>") : common::Piece(">"),
             "<span id=\"span\" onClick=\"changeBox('document.EntryForm.B", f, "');",
             "if (document.EntryForm.B", f, ".checked)", " document.EntryForm.text1.value++;",
             "else if (!document.EntryForm.B", f, parts.span_end});
  AddToPage({row.BookName, "<br>", row.InfoLine, "</span>"});
}

}  // namespace

void WriteBookGrid() {
  const common::Decimal cell_size(FontSizeBase + 1);
  std::array<AreaCellParts, AreaCount> cell_parts;
  for (int s = 0; s < AreaCount; ++s) cell_parts[s] = CellPartsOf(S_Rec[s].AreaId);
  AddToPage(
      "<table border=\"2\" width=\"100%\" cellspacing=\"1\" cellpadding=\"0\" "
      "style=\"font-family: Arial\" height=\"719\">");
  AddToPage("<tr>");
  for (int s = AreaCount - 1; s >= 0; --s) {
    AddToPage({"<td width=\"10%\" bgcolor=\"Green\" align=\"center\" height=\"20\"><font size=\"",
               cell_size, "\" color=\"White\"><b>", S_Rec[s].Caption, "</b></font></th>"});
  }
  AddToPage("</tr>");
  AddToPage("<tr>");
  for (int s = AreaCount - 1; s >= 0; --s) {
    const std::string& id = S_Rec[s].AreaId;
    AddToPage({"<td id=\"",
               id,
               "\" width=\"10%\" valign=\"top\" bgcolor=\"#FFFF00\" align=\"left\" height=\"26\">",
               "<input name=\"",
               id,
               "ck\" type=\"checkbox\" onClick=\"CheckAll",
               id,
               "();colorcell",
               id,
               "();\">",
               "<span id=\"span\" onClick=\"changeBox('document.EntryForm.",
               id,
               "ck'); CheckAll",
               id,
               "();colorcell",
               id,
               "();\" style=\"CURSOR: ",
               kCursor,
               "\">",
               "<font color=\"Black\"></font><font size=\"",
               cell_size,
               "\"> All Books</font></span><br></td>"});
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
        BookCell(cell_parts[s], row);
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
