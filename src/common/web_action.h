// What a page handler sees of one request and its response: the request's
// variables by index, and the content it hands back. The CGI frame
// (frame/cgi_request.h, frame/cgi_response.h) provides both.
#pragma once
#include <string>

namespace common {

// The request variables this program looks at, by their index in the CGI
// variable table (29 variables, 0..28).
enum RequestVariable {
  kRequestMethod = 0,
  kProtocolVersion = 1,
  kPathInfo = 4,
  kHost = 10,
  kContentLength = 16,
  kRemoteAddress = 21,
  kRequestBody = 25,
  kVariableCount = 29,
};

class WebRequest {
 public:
  virtual ~WebRequest() = default;
  // The variable's value; empty when unset.
  virtual std::string GetStringVariable(int index) const = 0;
};

class WebResponse {
 public:
  virtual ~WebResponse() = default;
  // Sets the content; its length in bytes becomes the content length.
  virtual void SetContent(std::string content) = 0;
  // Sets content that stays as it is, where it is, until the next request
  // begins (what a persistent process keeps from one request to the next):
  // a response that can send it from there does not copy it.
  virtual void SetKeptContent(const std::string& content) { SetContent(content); }
};

}  // namespace common
