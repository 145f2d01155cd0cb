#include <cstdlib>

#include "platform/environment.h"

namespace platform {

std::string GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace platform
