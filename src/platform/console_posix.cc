#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace platform {

bool SetBinaryStdio() { return true; }

std::string ReadStdin(std::size_t max_bytes) {
  std::string body;
  char chunk[65536];
  while (body.size() < max_bytes) {
    std::size_t want = max_bytes - body.size();
    if (want > sizeof chunk) want = sizeof chunk;
    ssize_t n = read(STDIN_FILENO, chunk, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    body.append(chunk, static_cast<std::size_t>(n));
  }
  return body;
}

bool WriteStdout(std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(STDOUT_FILENO, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace platform
