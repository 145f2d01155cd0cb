#include <windows.h>

#include "platform/environment.h"

namespace platform {

std::string GetEnvironment(const std::string& name) {
  std::string value(4096, '\0');
  for (;;) {
    DWORD n = GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return std::string();
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n is the size needed, terminator included
  }
}

}  // namespace platform
