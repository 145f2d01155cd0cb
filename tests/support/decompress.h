// The tests' own decompression of the page's compressed forms, to compare
// them with the page itself.
#pragma once
#include <string>

namespace testkit {

// The bytes `gzip` holds; throws when it is no whole gzip stream.
std::string Gunzip(const std::string& gzip);

// The bytes a brotli stream holds; throws when it is none, or where this
// build has no brotli decoder (the Windows build).
std::string Unbrotli(const std::string& brotli);

}  // namespace testkit
