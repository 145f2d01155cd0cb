#include "platform/commands.h"

namespace platform {
std::string QuotedForCommand(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text) {
    bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '/' || c == '.' || c == '_' || c == '-' || c == '@' || c == ':' || c == '+' ||
                c == ',' || c == '=';
    if (!safe) plain = false;
  }
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RemoveCommand(const std::vector<std::string>& paths) {
  return "rm " + QuotedForCommand(paths);
}

std::string MoveAwayCommand(const std::vector<std::string>& paths) {
  // Out of the book folders and the site folder, which install-site keeps to
  // its own files.
  const std::string strays = "/var/backups/enpanel-strays/";
  return "mkdir -p " + strays + " && mv " + QuotedForCommand(paths) + " " + strays;
}

}  // namespace platform
