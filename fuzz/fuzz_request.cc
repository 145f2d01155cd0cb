// The request variables and body from any input: the first bytes become the
// host, the content length and the date, the rest arrives on standard input.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "frame/cgi_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string all(reinterpret_cast<const char*>(data), size);
  std::string fields[3];
  std::size_t pos = 0;
  for (auto& field : fields) {
    std::size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    field = all.substr(pos, end - pos);
    pos = end < all.size() ? end + 1 : all.size();
  }
  std::string body = all.substr(pos);
  if (body.size() > 60000) return 0;  // what a pipe holds without a reader
  for (auto& field : fields) {
    if (field.find('\0') != std::string::npos) return 0;  // no environment value holds one
  }
  setenv("HTTP_HOST", fields[0].c_str(), 1);
  setenv("CONTENT_LENGTH", fields[1].c_str(), 1);
  setenv("HTTP_DATE", fields[2].c_str(), 1);

  int pipefd[2];
  if (pipe(pipefd) != 0) return 0;
  if (write(pipefd[1], body.data(), body.size()) != static_cast<ssize_t>(body.size())) std::abort();
  close(pipefd[1]);
  int saved = dup(0);
  dup2(pipefd[0], 0);
  close(pipefd[0]);
  {
    frame::TCGIRequest request;
    std::int32_t declared = request.GetIntegerVariable(common::kContentLength);
    const std::string& got = request.Content();
    if (got.size() > body.size()) std::abort();
    if (declared <= 0 && !got.empty()) std::abort();
    if (declared > 0 &&
        got.size() != std::min<std::size_t>(body.size(), static_cast<std::size_t>(declared))) {
      std::abort();
    }
    if (request.GetStringVariable(common::kHost) != fields[0] && !fields[0].empty()) std::abort();
    for (int i = 0; i < common::kVariableCount; ++i) request.GetStringVariable(i);
    double date = request.GetDateVariable(7);
    if (date != -1.0 && !(date > -700000 && date < 3000000)) std::abort();
  }
  dup2(saved, 0);
  close(saved);
  return 0;
}
