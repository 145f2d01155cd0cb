#include "common/compression.h"

#include <climits>

#ifdef ENPANEL_HAVE_BROTLI
#include <brotli/encode.h>
#endif
#ifdef ENPANEL_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif

namespace common {
namespace {

#ifdef ENPANEL_HAVE_LIBDEFLATE
// libdeflate's highest level: a search that zlib does not make, some fifth
// smaller than zlib's best on the page, made once for each page kept.
bool Gzip(std::string_view content, std::string& out) {
  constexpr int kHighestLevel = 12;
  libdeflate_compressor* compressor = libdeflate_alloc_compressor(kHighestLevel);
  if (compressor == nullptr) return false;
  out.resize(libdeflate_gzip_compress_bound(compressor, content.size()));
  std::size_t size =
      libdeflate_gzip_compress(compressor, content.data(), content.size(), out.data(), out.size());
  libdeflate_free_compressor(compressor);
  out.resize(size);
  return size != 0;
}
#else
bool Gzip(std::string_view content, std::string& out) {
  if (content.size() > UINT_MAX / 2) return false;
  z_stream z{};
  // 15 + 16: the largest window, with the gzip wrapper.
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    return false;
  }
  out.resize(deflateBound(&z, static_cast<uLong>(content.size())));
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END;
}
#endif

#ifdef ENPANEL_HAVE_BROTLI
bool Brotli(std::string_view content, std::string& out) {
  // The least window that holds the whole page: the same result in less memory.
  int window = BROTLI_MIN_WINDOW_BITS;
  while (window < BROTLI_MAX_WINDOW_BITS && (std::size_t{1} << window) - 16 < content.size()) {
    ++window;
  }
  std::size_t size = BrotliEncoderMaxCompressedSize(content.size());
  if (size == 0) return false;
  out.resize(size);
  if (BrotliEncoderCompress(BROTLI_MAX_QUALITY, window, BROTLI_MODE_TEXT, content.size(),
                            reinterpret_cast<const std::uint8_t*>(content.data()), &size,
                            reinterpret_cast<std::uint8_t*>(out.data())) == BROTLI_FALSE) {
    return false;
  }
  out.resize(size);
  return true;
}
#endif

}  // namespace

bool CanCompress([[maybe_unused]] Coding coding) {
#ifdef ENPANEL_HAVE_BROTLI
  return true;
#else
  return coding != Coding::kBrotli;
#endif
}

bool Compress(Coding coding, std::string_view content, std::string& out) {
  out.clear();
  switch (coding) {
    case Coding::kIdentity:
      out.assign(content);
      return true;
    case Coding::kGzip:
      return Gzip(content, out);
    case Coding::kBrotli:
#ifdef ENPANEL_HAVE_BROTLI
      return Brotli(content, out);
#else
      return false;
#endif
  }
  return false;
}

}  // namespace common
