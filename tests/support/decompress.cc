#include "support/decompress.h"

#include <zlib.h>

#include <stdexcept>

#ifdef ENPANEL_HAVE_BROTLI
#include <brotli/decode.h>
#endif

namespace testkit {

std::string Gunzip(const std::string& gzip) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) throw std::runtime_error("inflateInit2");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  z.avail_in = static_cast<uInt>(gzip.size());
  std::string out;
  char chunk[65536];
  int result = Z_OK;
  while (result == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    result = inflate(&z, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - z.avail_out);
  }
  bool whole = result == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) throw std::runtime_error("no whole gzip stream");
  return out;
}

std::string Unbrotli(const std::string& brotli) {
#ifdef ENPANEL_HAVE_BROTLI
  BrotliDecoderState* state = BrotliDecoderCreateInstance(nullptr, nullptr, nullptr);
  std::size_t in_left = brotli.size();
  const auto* in = reinterpret_cast<const std::uint8_t*>(brotli.data());
  std::string out;
  BrotliDecoderResult result = BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT;
  while (result == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
    std::uint8_t chunk[65536];
    std::uint8_t* next = chunk;
    std::size_t out_left = sizeof chunk;
    result = BrotliDecoderDecompressStream(state, &in_left, &in, &out_left, &next, nullptr);
    out.append(reinterpret_cast<char*>(chunk), sizeof chunk - out_left);
  }
  BrotliDecoderDestroyInstance(state);
  if (result != BROTLI_DECODER_RESULT_SUCCESS || in_left != 0) {
    throw std::runtime_error("no whole brotli stream");
  }
  return out;
#else
  (void)brotli;
  throw std::runtime_error("no brotli decoder in this build");
#endif
}

}  // namespace testkit
