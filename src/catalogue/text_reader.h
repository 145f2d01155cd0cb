// Reads a text file line by line, in chunks, without loading it whole. A line
// ends at CR LF, LF or a lone CR; the line end is not part of the line.
#pragma once
#include <string>

#include "platform/files.h"

namespace catalogue {

class TextReader {
 public:
  explicit TextReader(platform::InputFile& file) : file_(file) {}
  // True when no byte is left to read.
  bool Eof();
  // Reads the next line; false at end of file. Throws InOutError on a read error.
  bool ReadLine(std::string& line);

 private:
  bool Fill();
  platform::InputFile& file_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

}  // namespace catalogue
