#include "platform/commands.h"

namespace platform {
namespace {

std::string Quoted(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) {
    if (!text.empty()) text += ' ';
    text += QuotedForCommand(path);
  }
  return text;
}

}  // namespace

std::string QuotedForCommand(const std::string& text) {
  bool plain = !text.empty() && text.find_first_of(" &|()^<>%\"") == std::string::npos;
  return plain ? text : "\"" + text + "\"";
}

std::string RemoveCommand(const std::vector<std::string>& paths) {
  return "del /q " + Quoted(paths);
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
