// The CGI response: the header block and the content, written once: to
// standard output for a CGI request, to the connection for a FastCGI request.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "frame/cgi_request.h"

namespace frame {

// Where a response goes.
class ResponseOutput {
 public:
  virtual ~ResponseOutput() = default;
  // `first`, then `second`; false on a write error. `second_stays`: the
  // bytes of `second` stay as they are, where they are, until the next
  // request begins (kept content), so they may go out later with what ends
  // the answer.
  virtual bool Write(std::string_view first, std::string_view second,
                     bool second_stays = false) = 0;
};

// Standard output, in one gathered write where the system allows.
class StandardOutput final : public ResponseOutput {
 public:
  bool Write(std::string_view first, std::string_view second, bool second_stays) override;
};

class TCGIResponse : public common::WebResponse {
 public:
  // The response to `request`, sent to `output` (both must outlive it).
  TCGIResponse(const TCGIRequest& request, ResponseOutput& output);

  // Sets the content; its length in bytes becomes the content length.
  void SetContent(std::string content) override;
  void SetKeptContent(const std::string& content) override;
  std::string_view Content() const { return kept_ != nullptr ? *kept_ : content_; }

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
  ResponseOutput& output_;
  std::string protocol_;
  std::string content_;
  const std::string* kept_ = nullptr;  // the content, where it is kept
  bool sent_ = false;
};

// The status-500 response, header block and body, for an exception that
// escaped the dispatch.
std::string ErrorResponse(const std::string& class_name, const std::string& message);

}  // namespace frame
