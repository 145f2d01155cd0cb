#include <sys/uio.h>
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

bool WriteStdout(std::string_view first, std::string_view second) {
  while (!first.empty()) {
    iovec parts[2] = {{const_cast<char*>(first.data()), first.size()},
                      {const_cast<char*>(second.data()), second.size()}};
    ssize_t n = writev(STDOUT_FILENO, parts, 2);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    auto done = static_cast<std::size_t>(n);
    if (done >= first.size()) {
      second.remove_prefix(done - first.size());
      first = std::string_view();
    } else {
      first.remove_prefix(done);
    }
  }
  return WriteStdout(second);
}

}  // namespace platform
