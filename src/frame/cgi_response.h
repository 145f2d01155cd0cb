// The CGI response: the header block and the content, written to standard
// output once.
#pragma once
#include <string>
#include <vector>

#include "frame/cgi_request.h"

namespace frame {

class TCGIResponse : public common::WebResponse {
 public:
  explicit TCGIResponse(const TCGIRequest& request);

  // Sets the content; its length in bytes becomes the content length.
  void SetContent(std::string content) override;
  const std::string& Content() const { return content_; }

  // The header block as it is sent; empty when the request named no protocol.
  std::string HeaderBlock() const;
  // Writes header block and content in one piece, once. False on a write error.
  bool SendResponse();
  bool Sent() const { return sent_; }

  std::string version;
  int status_code = 200;
  std::string reason;
  double expires = -1.0, date = -1.0, last_modified = -1.0;
  std::string content_type = "text/html";
  std::string location, allow, derived_from, title, authenticate, content_version, content_encoding;
  std::vector<std::string> cookies;
  std::vector<std::string> custom_headers;  // whole lines, CR LF included

 private:
  std::string protocol_;
  std::string content_;
  bool sent_ = false;
};

// The status-500 response, header block and body, for an exception that
// escaped the dispatch.
std::string ErrorResponse(const std::string& class_name, const std::string& message);

}  // namespace frame
