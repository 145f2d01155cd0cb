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
  std::string_view terms = t.any_unchecked.empty() ? std::string_view("false") : t.any_unchecked;
  AddToPage({"function notAllChecked", id, "() {"});
  AddToPage({"  if (document.EntryForm.", id, "ck.checked && (", terms, "))"});
  AddToPage(
      {"document.EntryForm.", id, "ck.checked =", "!document.EntryForm.", id, "ck.checked ", "}"});
}

void Append(std::string& text, std::string_view before, std::string_view number,
            std::string_view after) {
  text.append(before).append(number).append(after);
}

}  // namespace

AllAreaTerms ComputeAreaTerms() {
  AllAreaTerms all;
  for (int s = 0; s < catalogue::AreaCount; ++s) {
    AreaTerms& t = all[s];
    for (int f = S_Rec[s].FirstFile; f <= S_Rec[s].LastFile; ++f) {
      if (!server::CanUseFile[f]) continue;
      common::Decimal n(f);
      Append(t.checked_or, "document.EntryForm.B", n, ".checked ||");
      Append(t.checked_and, "document.EntryForm.B", n, ".checked &&");
      Append(t.unchecked_or, "!document.EntryForm.B", n, ".checked ||");
      Append(t.unchecked_and, "!document.EntryForm.B", n, ".checked &&");
      Append(t.names, "e.name==\"B", n, "\" || ");
      if (!t.any_unchecked.empty()) t.any_unchecked += "||";
      Append(t.any_unchecked, "!document.EntryForm.B", n, ".checked");
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
