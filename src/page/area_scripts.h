// The four script functions of every subject area, which tie the area's
// "All Books" box, its header cell and its book boxes together.
#pragma once
#include <array>
#include <string>

#include "catalogue/areas.h"
#include "common/page_text.h"

namespace page {

// The per-book pieces of one area's conditions, one per present book, run
// together (for example "document.EntryForm.B7.checked ||" for each book).
struct AreaTerms {
  common::PageFragment checked_or;     // document.EntryForm.B<f>.checked ||
  common::PageFragment checked_and;    // document.EntryForm.B<f>.checked &&
  common::PageFragment unchecked_or;   // !document.EntryForm.B<f>.checked ||
  common::PageFragment unchecked_and;  // !document.EntryForm.B<f>.checked &&
  common::PageFragment names;          // e.name=="B<f>" ||
  common::PageFragment any_unchecked;  // !document.EntryForm.B<f>.checked, joined by "||"
};
using AllAreaTerms = std::array<AreaTerms, catalogue::AreaCount>;

// The terms of every area from the present books.
AllAreaTerms ComputeAreaTerms();

// The nine CheckAll, then unCheckAll, colorcell and notAllChecked functions,
// each set for areas 0 to 8.
void WriteAreaScripts(const AllAreaTerms& terms);
void WriteAreaScripts();

}  // namespace page
