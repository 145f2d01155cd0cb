#include "page/area_scripts.h"

#include <string>

#include "common/page_text.h"
#include "server/file_scan.h"

namespace page {
namespace {

using catalogue::S_Rec;
using common::AddToPage;

void CheckAll(const std::string& id, const AreaTerms& t) {
  AddToPage({"function CheckAll", id, "()"});
  AddToPage("{for (var i=1;i<document.EntryForm.elements.length;i++)");
  AddToPage("   {var e = document.EntryForm.elements[i];");
  AddToPage({"       if (!e.checked && document.EntryForm.", id, "ck.checked )", "{"});
  AddToPage({"       if (", t.names, "e.name==\"", id, "ck\")"});
  AddToPage("  e.checked = !e.checked;");
  AddToPage("  if (e.checked ){");
  AddToPage("  document.EntryForm.text1.value++  }}");
  AddToPage({"      else if (e.checked && !document.EntryForm.", id, "ck.checked )", "{"});
  AddToPage({"      if (", t.names, "e.name==\"", id, "ck\")"});
  AddToPage("  e.checked = !e.checked;");
  AddToPage("  if (!e.checked ){");
  AddToPage("  document.EntryForm.text1.value-- } }}}");
}

void UnCheckAll(const std::string& id, const AreaTerms& t) {
  AddToPage({"function unCheckAll", id, "() {"});
  AddToPage({"   if (", t.checked_and, "!document.EntryForm.", id, "ck.checked)"});
  AddToPage({" document.EntryForm.", id, "ck.click();"});
  AddToPage({"  else if (", t.unchecked_and, "document.EntryForm.", id, "ck.checked){"});
  AddToPage({"  document.EntryForm.", id, "ck.click();", " }", "}"});
}

void ColorCell(const std::string& id, const AreaTerms& t) {
  AddToPage({"function colorcell", id, "() {"});
  AddToPage({"  if (", t.checked_or, "document.EntryForm.", id, "ck.checked)"});
  AddToPage({"document.all.", id, ".style.background=\"#FF99FF\";"});
  AddToPage({"  else if (", t.unchecked_and, "!document.EntryForm.", id, "ck.checked){"});
  AddToPage({"document.all.", id, ".style.background=\"#FFFF00\";", " }", "}"});
}

void NotAllChecked(const std::string& id, const AreaTerms& t) {
  // With no present book nothing can be unticked: the test is "false".
  common::Piece terms = t.any_unchecked.empty() ? common::Piece("false") : t.any_unchecked;
  AddToPage({"function notAllChecked", id, "() {"});
  AddToPage({"  if (document.EntryForm.", id, "ck.checked && (", terms, "))"});
  AddToPage(
      {"document.EntryForm.", id, "ck.checked =", "!document.EntryForm.", id, "ck.checked ", "}"});
}

}  // namespace

AllAreaTerms ComputeAreaTerms() {
  AllAreaTerms all;
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    AreaTerms& t = all[s];
    // The longest term of a book, "||!document.EntryForm.B371.checked", is
    // 34 bytes: room for every book of the area, so that no term is moved.
    const std::size_t room =
        static_cast<std::size_t>(S_Rec[s].LastFile - S_Rec[s].FirstFile + 1) * 36;
    for (common::PageFragment* term : {&t.checked_or, &t.checked_and, &t.unchecked_or,
                                       &t.unchecked_and, &t.names, &t.any_unchecked}) {
      term->Reserve(room);
    }
    for (int f = S_Rec[s].FirstFile; f <= S_Rec[s].LastFile; ++f) {
      if (!server::CanUseFile[f]) continue;
      common::Decimal n(f);
      t.checked_or.Append({"document.EntryForm.B", n, ".checked ||"});
      t.checked_and.Append({"document.EntryForm.B", n, ".checked &&"});
      t.unchecked_or.Append({"!document.EntryForm.B", n, ".checked ||"});
      t.unchecked_and.Append({"!document.EntryForm.B", n, ".checked &&"});
      t.names.Append({"e.name==\"B", n, "\" || "});
      if (!t.any_unchecked.empty()) t.any_unchecked.Append({"||"});
      t.any_unchecked.Append({"!document.EntryForm.B", n, ".checked"});
    }
  }
  return all;
}

void WriteAreaScripts(const AllAreaTerms& terms) {
  for (int s = 0; s < catalogue::AreaCount; ++s) CheckAll(S_Rec[s].AreaId, terms[s]);
  for (int s = 0; s < catalogue::AreaCount; ++s) UnCheckAll(S_Rec[s].AreaId, terms[s]);
  for (int s = 0; s < catalogue::AreaCount; ++s) ColorCell(S_Rec[s].AreaId, terms[s]);
  for (int s = 0; s < catalogue::AreaCount; ++s) NotAllChecked(S_Rec[s].AreaId, terms[s]);
}

void WriteAreaScripts() { WriteAreaScripts(ComputeAreaTerms()); }

}  // namespace page
