#include "frame/cgi_response.h"

#include "platform/console.h"

namespace frame {

bool StandardOutput::Write(std::string_view first, std::string_view second, bool /*second_stays*/) {
  return platform::WriteStdout(first, second);
}

TCGIResponse::TCGIResponse(const TCGIRequest& request, ResponseOutput& output)
    : output_(output), protocol_(request.GetStringVariable(kProtocolVersion)) {
  if (protocol_.empty()) version = "1.0";
}

void TCGIResponse::SetContent(std::string content) {
  content_ = std::move(content);
  kept_ = nullptr;
}

void TCGIResponse::SetKeptContent(const std::string& content) {
  content_.clear();
  kept_ = &content;
}

std::string TCGIResponse::HeaderBlock() const {
  if (protocol_.empty()) return std::string();
  std::string h;
  auto line = [&h](const char* field, const std::string& value) {
    if (!value.empty()) h.append(field).append(value).append("\r\n");
  };
  std::string status = (!reason.empty() && status_code > 0)
                           ? std::to_string(status_code) + " " + reason
                           : std::string("200 OK");
  line("Status: ", status);
  line("Location: ", location);
  line("Allow: ", allow);
  for (const auto& cookie : cookies) line("Set-Cookie: ", cookie);
  line("Derived-From: ", derived_from);
  if (expires > 0) line("Expires: ", FormatHttpDate(expires));
  if (last_modified > 0) line("Last-Modified: ", FormatHttpDate(last_modified));
  line("Title: ", title);
  line("WWW-Authenticate: ", authenticate);
  for (const auto& custom : custom_headers) h += custom;
  line("Content-Version: ", content_version);
  line("Content-Encoding: ", content_encoding);
  line("Content-Type: ", content_type);
  if (!Content().empty()) line("Content-Length: ", std::to_string(Content().size()));
  h += "Content:\r\n\r\n";
  return h;
}

bool TCGIResponse::SendResponse() {
  if (sent_) return true;
  sent_ = true;
  return output_.Write(HeaderBlock(), Content(), kept_ != nullptr);
}

std::string ErrorResponse(const std::string& class_name, const std::string& message) {
  std::string body =
      "<html><title>Internal Server Error 500</title>\r\n"
      "<h1>Internal Server Error 500</h1><hr>\r\nException: " +
      class_name + "<br>\r\nMessage: " + message + "<br></html>\r\n";
  // The message also goes into the status line, where a line break would end
  // the header block early.
  std::string status_text = message;
  for (char& c : status_text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return "Status: 500 " + status_text +
         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nContent:\r\n\r\n" + body;
}

}  // namespace frame
