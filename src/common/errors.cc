#include "common/errors.h"

#include <new>

namespace common {

std::string ExceptionClassName(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Exception*>(&e)) return own->ClassName();
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "OutOfMemory";
  return "Exception";
}

}  // namespace common
