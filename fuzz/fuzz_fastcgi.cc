// Any bytes as a FastCGI server's side of a connection, served by the
// program's session: the first byte sets how many bytes each read hands
// over, the rest is the stream. Whatever comes, the session ends without a
// crash, never holds more than its limits, and answers what it answers in
// well-formed records: each record it writes is read back here.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame/fastcgi_session.h"

namespace {

using frame::fastcgi::Answer;
using frame::fastcgi::Pairs;
using platform::IoResult;

class FuzzStream : public frame::fastcgi::Stream {
 public:
  FuzzStream(std::string_view in, std::size_t step) : in_(in), step_(step) {}
  IoResult Read(char* buffer, std::size_t size, std::size_t& got, bool /*idle*/,
                int /*timeout_ms*/) override {
    got = std::min({size, step_, in_.size()});
    if (got == 0) return IoResult::kEnd;
    in_.copy(buffer, got);
    in_.remove_prefix(got);
    return IoResult::kDone;
  }
  IoResult Write(const std::string_view* pieces, std::size_t count, int /*timeout_ms*/) override {
    for (std::size_t i = 0; i < count; ++i) out.append(pieces[i]);
    return IoResult::kDone;
  }
  std::string out;

 private:
  std::string_view in_;
  std::size_t step_;
};

// Every byte written is in records of version 1 whose lengths fit.
void CheckRecords(const std::string& out) {
  std::size_t at = 0;
  while (at < out.size()) {
    if (out.size() - at < 8 || out[at] != 1) std::abort();
    std::size_t length =
        (static_cast<unsigned char>(out[at + 4]) << 8) | static_cast<unsigned char>(out[at + 5]);
    std::size_t padding = static_cast<unsigned char>(out[at + 6]);
    at += 8 + length + padding;
  }
  if (at != out.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t step = 1 + data[0] % 64;
  if (data[0] >= 128) step = 65536;
  frame::fastcgi::Limits limits;
  limits.max_params = 4096;
  limits.max_body_kept = 1024;
  std::size_t served = 0;
  frame::fastcgi::Serve serve = [&](const Pairs& params, std::string_view body, Answer& answer) {
    std::size_t bytes = body.size();
    for (const auto& [name, value] : params) bytes += name.size() + value.size();
    if (body.size() > limits.max_body_kept || bytes > limits.max_params + body.size()) std::abort();
    ++served;
    answer.Error("line\n");
    answer.Output("Status: 200 OK\r\n\r\n", std::string_view("page"));
  };
  FuzzStream stream(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), step);
  frame::fastcgi::ServeConnection(stream, serve, limits);
  CheckRecords(stream.out);
  return 0;
}
