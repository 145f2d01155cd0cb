#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/console.h"

namespace platform {

bool SetBinaryStdio() {
  bool in_ok = _setmode(_fileno(stdin), _O_BINARY) != -1;
  bool out_ok = _setmode(_fileno(stdout), _O_BINARY) != -1;
  return in_ok && out_ok;
}

std::string ReadStdin(std::size_t max_bytes) {
  std::string body;
  char chunk[65536];
  while (body.size() < max_bytes) {
    std::size_t want = max_bytes - body.size();
    if (want > sizeof chunk) want = sizeof chunk;
    int n = _read(0, chunk, static_cast<unsigned>(want));
    if (n <= 0) break;
    body.append(chunk, static_cast<std::size_t>(n));
  }
  return body;
}

bool WriteStdout(std::string_view data) {
  while (!data.empty()) {
    unsigned want = data.size() > 0x40000000u ? 0x40000000u : static_cast<unsigned>(data.size());
    int n = _write(1, data.data(), want);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool WriteStdout(std::string_view first, std::string_view second) {
  std::string whole;
  whole.reserve(first.size() + second.size());
  whole.append(first).append(second);
  return WriteStdout(whole);
}

}  // namespace platform
