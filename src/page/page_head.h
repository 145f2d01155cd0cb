// The page head (which starts the page text anew) and the fixed script block
// with the top of the search form.
#pragma once

namespace page {

// "<HTML>", the meta line, the keyboard block and the title.
void WritePageHead();

// The script functions, the per-area functions, the BODY and the form top.
void WriteFixedScript();

}  // namespace page
