// The page's compressed forms: gzip at zlib's best level and, where the
// build has the library, brotli at its best quality. Both are slow to make
// (brotli takes the better part of a second for the whole page) and quick
// to decompress, so they are made once per page and kept.
#pragma once
#include <string>
#include <string_view>

#include "common/accept_encoding.h"

namespace common {

// An answer's body in the codings it is kept in; null where not (yet) made.
struct CompressedForms {
  const std::string* gzip = nullptr;
  const std::string* brotli = nullptr;
};

// Whether `coding` can be made by this build (brotli is left out where
// there is no library for it: the Windows build).
bool CanCompress(Coding coding);

// `content` in `coding` into `out`; false when that failed or cannot be
// made here. Identity is the content itself.
bool Compress(Coding coding, std::string_view content, std::string& out);

}  // namespace common
