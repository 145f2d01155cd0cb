#include "platform/commands.h"

namespace platform {
std::string QuotedForCommand(const std::string& text) {
  bool plain = !text.empty() && text.find_first_of(" &|()^<>%\"") == std::string::npos;
  return plain ? text : "\"" + text + "\"";
}

std::string RemoveCommand(const std::vector<std::string>& paths) {
  return "del /q " + QuotedForCommand(paths);
}

std::string ArchiveYearsCommand(const std::string& folder, const std::string& program,
                                const std::vector<int>& years) {
  const std::string list = SpacedNumbers(years);
  const std::string name = "$" + program + "$%y-*";
  return "cd /d " + QuotedForCommand(folder) + " && for %y in (" + list + ") do @((mkdir %y 2>nul) & move \"" +
         name + ".ctr\" %y >nul & move \"" + name + ".log\" %y >nul)";
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
