// The on-screen Arabic keyboard: a small hidden form whose image map appends
// one Windows-1256 letter per click to its text box.
#pragma once

namespace page {

// Appends the block line by line (each line after a line break); `arabic`
// chooses the Arabic form of the instructions, the options page uses English.
void WriteKeyboardBlock(bool arabic);

}  // namespace page
