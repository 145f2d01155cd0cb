#include "catalogue/text_reader.h"

#include "frame/errors.h"
#include "server/file_utils.h"

namespace catalogue {

bool TextReader::Fill() {
  if (ended_) return false;
  buffer_.erase(0, pos_);
  pos_ = 0;
  char chunk[65536];
  long n = file_.Read(chunk, sizeof chunk);
  if (n < 0) {
    int code = platform::LastErrorCode();
    throw frame::InOutError(code, server::IOErrorText(code));
  }
  if (n == 0) {
    ended_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

bool TextReader::Eof() {
  while (pos_ >= buffer_.size()) {
    if (!Fill()) return true;
  }
  return false;
}

bool TextReader::ReadLine(std::string& line) {
  line.clear();
  if (Eof()) return false;
  for (;;) {
    std::size_t end = buffer_.find_first_of("\r\n", pos_);
    if (end == std::string::npos) {
      line.append(buffer_, pos_, std::string::npos);
      pos_ = buffer_.size();
      if (!Fill()) return true;
      continue;
    }
    line.append(buffer_, pos_, end - pos_);
    pos_ = end + 1;
    if (buffer_[end] == '\r') {
      if (pos_ >= buffer_.size()) Fill();
      if (pos_ < buffer_.size() && buffer_[pos_] == '\n') ++pos_;
    }
    return true;
  }
}

}  // namespace catalogue
