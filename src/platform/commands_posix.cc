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

std::string GrantCommand(const std::string& /*account*/, const std::vector<std::string>& /*paths*/,
                         unsigned /*access*/, bool /*folders*/, const std::string& posix) {
  return posix;
}

std::string ArchiveYearsCommand(const std::string& folder, const std::string& program,
                                const std::vector<int>& years) {
  const std::string list = SpacedNumbers(years);
  const std::string name = "\\$" + program + "\\$$y-[0-9][0-9]-[0-9][0-9]";
  return "cd " + QuotedForCommand(folder) + " && for y in " + list +
         "; do mkdir -p \"$y\" && find . -maxdepth 1 -type f \\( -name \"" + name +
         ".ctr\" -o -name \"" + name + ".log\" \\) -exec mv -t \"$y\" {} +; done";
}

std::string MoveAwayCommand(const std::vector<std::string>& paths) {
  // Out of the book folders and the site folder, which install-site keeps to
  // its own files.
  const std::string strays = "/var/backups/enpanel-strays/";
  return "mkdir -p " + strays + " && mv " + QuotedForCommand(paths) + " " + strays;
}

}  // namespace platform
