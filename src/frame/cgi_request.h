// The CGI request: 29 string variables, each from one environment variable,
// and the request body from standard input.
#pragma once
#include <cstdint>
#include <string>

#include "common/web_action.h"

namespace frame {

using enum common::RequestVariable;

// The environment variable behind variable `index`; empty for the body and for
// an index out of range.
const char* RequestVariableName(int index);

class TCGIRequest : public common::WebRequest {
 public:
  // Reads the body: up to the declared content length, stopping at the end of
  // input; nothing when the length is not a positive 32-bit number.
  TCGIRequest();

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
  std::string body_;
};

// Parses the three HTTP date forms; false when `text` is none of them.
bool ParseHttpDate(const std::string& text, double& days);
// "Sun, 06 Nov 1994 08:49:37 GMT" for a day count since 1899-12-30.
std::string FormatHttpDate(double days);

}  // namespace frame
