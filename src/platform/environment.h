// Process environment: the CGI request arrives in environment variables.
#pragma once
#include <string>

namespace platform {

// The value of environment variable `name`, read whole however long it is;
// empty when the variable is unset.
std::string GetEnvironment(const std::string& name);

}  // namespace platform
