// The book selection grid: one column per subject area (area 8 leftmost),
// the area names, the "All Books" boxes, the book rows, and the footer.
#pragma once

namespace page {

void WriteBookGrid();

}  // namespace page
