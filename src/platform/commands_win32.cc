#include "platform/accounts.h"
#include "platform/commands.h"

namespace platform {
std::string QuotedForCommand(const std::string& text) {
  bool plain = !text.empty() && text.find_first_of(" &|()^<>%\"") == std::string::npos;
  return plain ? text : "\"" + text + "\"";
}

namespace {

// A path as PowerShell and cmd both take it: a `$` (a variable's start to
// PowerShell) as the wildcard `?` that matches it, quoted where spaces or
// cmd's own characters call for it.
std::string ForBothShells(std::string path) {
  for (char& c : path) {
    if (c == '$') c = '?';
  }
  return QuotedForCommand(path);
}

}  // namespace

std::string RemoveCommand(const std::vector<std::string>& paths) {
  // PowerShell's del is another command: cmd's own, through cmd.
  std::string command = "cmd /c del /q";
  for (const std::string& path : paths) command.append(" ").append(ForBothShells(path));
  return command;
}

std::string GrantCommand(const std::string& account, const std::vector<std::string>& paths,
                         unsigned access, bool folders, const std::string& /*posix*/) {
  if (paths.empty()) return std::string();
  // Several files of one folder: the start of the names they share, and *.
  std::string target = paths.front();
  if (paths.size() > 1) {
    std::size_t cut = target.find_last_of('\\');
    std::string folder = target.substr(0, cut + 1);
    std::string start = target.substr(cut + 1);
    for (const std::string& path : paths) {
      if (path.compare(0, folder.size(), folder) != 0 ||
          path.find('\\', folder.size()) != std::string::npos) {
        start.clear();
        break;
      }
      std::size_t same = 0;
      while (same < start.size() && folder.size() + same < path.size() &&
             path[folder.size() + same] == start[same]) {
        ++same;
      }
      start.resize(same);
    }
    target = folder;
    target.append(start).append("*");
  }
  const std::string rights = (access & kWrite) != 0 ? "M" : "RX";
  const std::string inherit = folders ? "(OI)(CI)" : "";
  std::string command = "icacls ";
  command.append(ForBothShells(target)).append(" /grant \"").append(account).append(":");
  // /L: a link at the name is changed itself, never what it points to.
  command.append(inherit).append("(").append(rights).append(")\" /L");
  return command;
}

std::string ArchiveYearsCommand(const std::string& folder, const std::string& program,
                                const std::vector<int>& years) {
  const std::string list = SpacedNumbers(years);
  const std::string name = "$" + program + "$%y-*";
  return "cd /d " + QuotedForCommand(folder) + " && for %y in (" + list +
         ") do @((mkdir %y 2>nul) & move \"" + name + ".ctr\" %y >nul & move \"" + name +
         ".log\" %y >nul)";
}

std::string MoveAwayCommand(const std::vector<std::string>& paths) {
  const std::string strays = "\"%ProgramData%\\enpanel-strays\"";
  std::string command = "(mkdir " + strays + " 2>nul)";
  for (const std::string& path : paths) {
    command += " & move " + QuotedForCommand(path) + " " + strays;
  }
  return command;
}

}  // namespace platform
