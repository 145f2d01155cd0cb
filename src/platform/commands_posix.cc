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

std::string RemoveCommand(const std::vector<std::string>& paths) { return "rm " + Quoted(paths); }

std::string MoveAwayCommand(const std::vector<std::string>& paths) {
  // Out of the book folders and the site folder, which install-site keeps to
  // its own files.
  const std::string strays = "/var/backups/enpanel-strays/";
  return "mkdir -p " + strays + " && mv " + Quoted(paths) + " " + strays;
}

}  // namespace platform
