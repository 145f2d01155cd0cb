// The four script functions of every subject area, which tie the area's
// "All Books" box, its header cell and its book boxes together.
#pragma once

namespace page {

// The nine CheckAll, then unCheckAll, colorcell and notAllChecked functions,
// each set for areas 0 to 8.
void WriteAreaScripts();

}  // namespace page
