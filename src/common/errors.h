// The program's exception classes. The frame's error page names the class of
// the exception that escaped, so each class knows its own name.
#pragma once
#include <exception>
#include <stdexcept>
#include <string>

namespace common {

class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  virtual const char* ClassName() const { return "Exception"; }
};

// A failed file operation; `code` is the system's error number.
class InOutError : public Exception {
 public:
  InOutError(int code, const std::string& message) : Exception(message), code_(code) {}
  const char* ClassName() const override { return "InOutError"; }
  int code() const { return code_; }

 private:
  int code_;
};

// Text that should have been a number.
class ConvertError : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "ConvertError"; }
};

// The class name of any exception, ours or the standard library's.
std::string ExceptionClassName(const std::exception& e);

}  // namespace common
