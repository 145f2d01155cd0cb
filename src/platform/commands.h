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
// A command that removes the files. Windows: one line that works in
// PowerShell and in cmd.
std::string RemoveCommand(const std::vector<std::string>& paths);
// A command that lets `account` have `access` (a sum of platform::Access
// bits) to the paths (files; or folders, with what is made in them), where
// this system's own tools make `posix` of it: POSIX: `posix` itself;
// Windows: one icacls line (several files of one folder named by the start
// their names share) that works in PowerShell and in cmd.
std::string GrantCommand(const std::string& account, const std::vector<std::string>& paths,
                         unsigned access, bool folders, const std::string& posix);
// A command that moves the files into a folder of strays (made when missing).
std::string MoveAwayCommand(const std::vector<std::string>& paths);
// A command that moves the day files of `program` (its counters and logs,
// named "$PROGRAM$YYYY-MM-DD.ctr" or ".log") of each of `years` in the
// statistics folder `folder` into a folder of that year inside it; markers,
// other programs' files and every other file stay.
std::string ArchiveYearsCommand(const std::string& folder, const std::string& program,
                                const std::vector<int>& years);

}  // namespace platform
