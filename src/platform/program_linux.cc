#include <unistd.h>

#include "platform/files.h"
#include "platform/program.h"

namespace platform {

std::string ProgramFileName() {
  std::string name(4096, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", name.data(), name.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < name.size()) {
      name.resize(static_cast<std::size_t>(n));
      break;
    }
    name.resize(name.size() * 2);
  }
  // Under an emulated drive root the program sees itself as a path on that drive.
  const std::string& root = DriveRoot();
  if (!root.empty() && name.size() > root.size() && name.compare(0, root.size(), root) == 0 &&
      name[root.size()] == '/') {
    name.erase(0, root.size());
  }
  return name;
}

}  // namespace platform
