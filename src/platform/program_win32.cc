#include <windows.h>

#include "platform/program.h"

namespace platform {

std::string ProgramFileName() {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (n == 0) return std::string();
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

}  // namespace platform
