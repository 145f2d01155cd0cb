// The parts of the file service that are the same on every system.
#include "platform/files.h"

namespace platform {
namespace {
thread_local int g_last_error = 0;
}  // namespace

int LastErrorCode() { return g_last_error; }
void SetLastErrorCode(int code) { g_last_error = code; }

bool ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  InputFile file;
  if (!file.Open(path)) return false;
  char chunk[65536];
  for (;;) {
    long n = file.Read(chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    contents.append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace platform
