#include "catalogue/text_reader.h"

#include "common/errors.h"
#include "common/text.h"
#include "server/file_utils.h"

namespace catalogue {

bool TextReader::Fill() {
  if (ended_) return false;
  buffer_.erase(0, pos_);
  pos_ = 0;
  constexpr std::size_t kChunk = 4096;  // headers sit at the start of a book
  std::size_t had = buffer_.size();
  buffer_.resize(had + kChunk);
  long n = file_.Read(buffer_.data() + had, kChunk);
  buffer_.resize(had + (n > 0 ? static_cast<std::size_t>(n) : 0));
  if (n < 0) {
    int code = platform::LastErrorCode();
    throw common::InOutError(code, server::IOErrorText(code));
  }
  if (n == 0) {
    ended_ = true;
    return false;
  }
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
    std::size_t end = pos_ + common::FindLineBreak(buffer_.data() + pos_, buffer_.size() - pos_);
    if (end == buffer_.size()) {
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
