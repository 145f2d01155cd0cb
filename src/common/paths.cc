#include "common/paths.h"

namespace common {
namespace {
std::size_t EndOfFolder(const std::string& path) { return path.find_last_of("\\/:"); }
}  // namespace

std::string NormalizeSeparators(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == '/') c = '\\';
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out += c;
  }
  return out;
}

std::string ExtractFilePath(const std::string& path) {
  std::size_t cut = EndOfFolder(path);
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string ExtractFileName(const std::string& path) {
  std::size_t cut = EndOfFolder(path);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace common
