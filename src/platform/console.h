// Standard input and output as the CGI channels: binary, no newline translation.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Puts standard input and output into binary mode. False on failure.
bool SetBinaryStdio();

// Reads standard input in chunks until `max_bytes` were read or input ends.
std::string ReadStdin(std::size_t max_bytes);

// Writes all of `data` to standard output (one write where the system allows).
bool WriteStdout(std::string_view data);
// Writes `first` then `second` (one gathered write where the system allows).
bool WriteStdout(std::string_view first, std::string_view second);

}  // namespace platform
