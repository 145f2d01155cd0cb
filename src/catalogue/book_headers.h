// Book header records, read from the marked lines at the top of each book
// text file: "*BOOK*" gives the book's name, "*AUTHOR*" its author (and ends
// the header), "*END*" ends it too.
#pragma once
#include <string>

#include "platform/files.h"

namespace catalogue {

// Appends to `file` one five-line record (index, code, book name, author,
// empty line) per book text file found in `folder`, in slot order, and returns
// how many it wrote. A read error throws InOutError.
int AddHeadersToFile(std::string& file, const std::string& folder);

// Opens the text file of slot `index`; on failure reports it on the page.
bool OpenBookText(int index, platform::InputFile& file);

// The display form of a book name: the word "edition" (four Arabic spellings)
// or "VERSION" and what follows it are cut off, with trailing punctuation.
std::string CleanBookName(const std::string& name);

}  // namespace catalogue
