#include "page/area_scripts.h"

#include <string>

#include "catalogue/areas.h"
#include "frame/page_text.h"
#include "server/file_scan.h"

namespace page {
namespace {

using catalogue::S_Rec;
using catalogue::TAreaRecord;
using frame::AddToPage;

// One piece per present book of the area, `before` + number + `after`, run
// together; `glue` stands only between pieces.
std::string PerBook(const TAreaRecord& area, const char* before, const char* after,
                    const char* glue = "") {
  std::string text;
  bool first = true;
  for (int f = area.FirstFile; f <= area.LastFile; ++f) {
    if (!server::CanUseFile[f]) continue;
    if (!first) text += glue;
    text.append(before).append(std::to_string(f)).append(after);
    first = false;
  }
  return text;
}

void CheckAll(const TAreaRecord& a) {
  const std::string& id = a.AreaId;
  std::string names = PerBook(a, "e.name==\"B", "\" || ");
  AddToPage("function CheckAll" + id + "()");
  AddToPage("{for (var i=1;i<document.EntryForm.elements.length;i++)");
  AddToPage("   {var e = document.EntryForm.elements[i];");
  AddToPage("       if (!e.checked && document.EntryForm." + id + "ck.checked )" + "{");
  AddToPage("       if (" + names + "e.name==\"" + id + "ck\")");
  AddToPage("  e.checked = !e.checked;");
  AddToPage("  if (e.checked ){");
  AddToPage("  document.EntryForm.text1.value++  }}");
  AddToPage("      else if (e.checked && !document.EntryForm." + id + "ck.checked )" + "{");
  AddToPage("      if (" + names + "e.name==\"" + id + "ck\")");
  AddToPage("  e.checked = !e.checked;");
  AddToPage("  if (!e.checked ){");
  AddToPage("  document.EntryForm.text1.value-- } }}}");
}

void UnCheckAll(const TAreaRecord& a) {
  const std::string& id = a.AreaId;
  AddToPage("function unCheckAll" + id + "() {");
  AddToPage("   if (" + PerBook(a, "document.EntryForm.B", ".checked &&") + "!document.EntryForm." +
            id + "ck.checked)");
  AddToPage(" document.EntryForm." + id + "ck.click();");
  AddToPage("  else if (" + PerBook(a, "!document.EntryForm.B", ".checked &&") +
            "document.EntryForm." + id + "ck.checked){");
  AddToPage("  document.EntryForm." + id + "ck.click();" + " }" + "}");
}

void ColorCell(const TAreaRecord& a) {
  const std::string& id = a.AreaId;
  AddToPage("function colorcell" + id + "() {");
  AddToPage("  if (" + PerBook(a, "document.EntryForm.B", ".checked ||") + "document.EntryForm." +
            id + "ck.checked)");
  AddToPage("document.all." + id + ".style.background=\"#FF99FF\";");
  AddToPage("  else if (" + PerBook(a, "!document.EntryForm.B", ".checked &&") +
            "!document.EntryForm." + id + "ck.checked){");
  AddToPage("document.all." + id + ".style.background=\"#FFFF00\";" + " }" + "}");
}

void NotAllChecked(const TAreaRecord& a) {
  const std::string& id = a.AreaId;
  std::string terms = PerBook(a, "!document.EntryForm.B", ".checked", "||");
  if (terms.empty()) terms = "false";  // no present book: nothing can be unticked
  AddToPage("function notAllChecked" + id + "() {");
  AddToPage("  if (document.EntryForm." + id + "ck.checked && (" + terms + "))");
  AddToPage("document.EntryForm." + id + "ck.checked =" + "!document.EntryForm." + id +
            "ck.checked " + "}");
}

}  // namespace

void WriteAreaScripts() {
  for (const auto& area : S_Rec) CheckAll(area);
  for (const auto& area : S_Rec) UnCheckAll(area);
  for (const auto& area : S_Rec) ColorCell(area);
  for (const auto& area : S_Rec) NotAllChecked(area);
}

}  // namespace page
