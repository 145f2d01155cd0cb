// The CGI request: 29 string variables, each from one CGI variable, and the
// request body. A CGI program reads them from its environment and standard
// input; a FastCGI request carries them as parameters and its input stream.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/web_action.h"

namespace frame {

using enum common::RequestVariable;

// The environment variable behind variable `index`; empty for the body and for
// an index out of range.
const char* RequestVariableName(int index);

// Where a request's CGI variables come from.
class RequestVariables {
 public:
  virtual ~RequestVariables() = default;
  // The variable's value; empty when unset.
  virtual std::string Get(const char* name) const = 0;
};

// The process environment (a CGI request).
class EnvironmentVariables final : public RequestVariables {
 public:
  std::string Get(const char* name) const override;
};

// The parameters a FastCGI request carries, by name; the last of a name counts.
class ParameterVariables final : public RequestVariables {
 public:
  explicit ParameterVariables(const std::vector<std::pair<std::string, std::string>>& params)
      : params_(params) {}
  std::string Get(const char* name) const override;

 private:
  const std::vector<std::pair<std::string, std::string>>& params_;
};

class TCGIRequest : public common::WebRequest {
 public:
  // A CGI request: its variables from the environment, its body read from
  // standard input up to the declared content length, stopping at the end of
  // input; nothing when the length is not a positive 32-bit number.
  TCGIRequest();
  // A request whose variables come from `variables` (which must outlive it)
  // and whose input is `input`: the body is as much of it as the declared
  // content length asks for, by the same rule.
  TCGIRequest(const RequestVariables& variables, std::string_view input);

  // The variable's value. An empty "HTTP_..." variable falls back to the one
  // without that prefix ("HTTP_HOST" to "HOST").
  std::string GetStringVariable(int index) const override;
  // The value as a decimal number; -1 when empty or not a 32-bit number.
  std::int32_t GetIntegerVariable(int index) const;
  // The value as an HTTP date (days since 1899-12-30, UTC); -1.0 when empty
  // or not a date.
  double GetDateVariable(int index) const;

  const std::string& Content() const { return body_; }

 private:
  const RequestVariables* variables_;
  std::string body_;
};

// Parses the three HTTP date forms; false when `text` is none of them.
bool ParseHttpDate(const std::string& text, double& days);
// "Sun, 06 Nov 1994 08:49:37 GMT" for a day count since 1899-12-30.
std::string FormatHttpDate(double days);

}  // namespace frame
