// Commands as an operator of this system types them, for the lines the site
// check prints: a path quoted for the command line, files removed, files
// moved out of the way into a folder kept for them.
#pragma once
#include <string>
#include <vector>

namespace platform {

// `text` quoted for this system's command line where it needs to be.
std::string QuotedForCommand(const std::string& text);
// The paths, each so quoted, one space between them.
inline std::string QuotedForCommand(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    if (!text.empty()) text += ' ';
    text += QuotedForCommand(path);
  }
  return text;
}
// The numbers, one space between them.
inline std::string SpacedNumbers(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) {
    if (!text.empty()) text += ' ';
    text += std::to_string(n);
  }
  return text;
}
// A command that removes the files.
std::string RemoveCommand(const std::vector<std::string>& paths);
// A command that moves the files into a folder of strays (made when missing).
std::string MoveAwayCommand(const std::vector<std::string>& paths);
// A command that moves the day files of `program` (its counters and logs,
// named "$PROGRAM$YYYY-MM-DD.ctr" or ".log") of each of `years` in the
// statistics folder `folder` into a folder of that year inside it; markers,
// other programs' files and every other file stay.
std::string ArchiveYearsCommand(const std::string& folder, const std::string& program,
                                const std::vector<int>& years);

}  // namespace platform
