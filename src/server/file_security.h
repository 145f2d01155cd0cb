// Access rights of a folder: widens them, for this process's own account only,
// when a file cannot be created there.
#pragma once
#include <string>

namespace server {

class TFileSecurity {
 public:
  explicit TFileSecurity(std::string folder) : folder_(std::move(folder)) {}
  // True when the account now has write access to the folder.
  bool GrantCurrentUserWrite() const;

 private:
  std::string folder_;
};

}  // namespace server
