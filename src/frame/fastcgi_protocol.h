// The FastCGI protocol, version 1, as a responder application speaks it:
// records and their headers, the name-value pairs of a request's
// parameters, and the records an application sends back. Nothing here reads
// or writes anything; the session (fastcgi_session.h) does.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace frame::fastcgi {

enum RecordType : std::uint8_t {
  kBeginRequest = 1,
  kAbortRequest = 2,
  kEndRequest = 3,
  kParams = 4,
  kStdin = 5,
  kStdout = 6,
  kStderr = 7,
  kData = 8,
  kGetValues = 9,
  kGetValuesResult = 10,
  kUnknownType = 11,
};

constexpr std::uint16_t kResponderRole = 1;
constexpr std::uint8_t kKeepConnection = 1;  // a flag of the begin-request record

enum ProtocolStatus : std::uint8_t {
  kRequestComplete = 0,
  kCantMultiplexConnection = 1,
  kOverloaded = 2,
  kUnknownRole = 3,
};

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMaxContent = 65535;  // of one record

struct Record {
  std::uint8_t type = 0;
  std::uint16_t request_id = 0;  // 0: a management record
  std::string_view content;      // valid until the reader is fed again
};

// Cuts a byte stream into records as the bytes come. It holds at most one
// record that is not yet whole, and what a read brought after it.
class RecordReader {
 public:
  void Feed(std::string_view bytes);
  enum class Next {
    kRecord,      // `record` holds the next one
    kMore,        // more bytes are needed
    kNotFastCgi,  // a record of another version: the stream is no FastCGI stream
  };
  Next Take(Record& record);
  // Whether part of a record is held.
  bool Partial() const { return start_ < buffer_.size(); }

 private:
  std::string buffer_;
  std::size_t start_ = 0;
};

struct BeginRequest {
  std::uint16_t role = 0;
  bool keep_connection = false;
};
// False when the content is too short for one.
bool ParseBeginRequest(std::string_view content, BeginRequest& begin);

using Pairs = std::vector<std::pair<std::string, std::string>>;
// The name-value pairs of a whole parameters stream (or of a get-values
// record), appended to `pairs`; false when a length runs past the data.
bool ParsePairs(std::string_view data, Pairs& pairs);
void AppendPair(std::string& out, std::string_view name, std::string_view value);

// A record's header for `length` bytes of content (at most kMaxContent).
// It announces the padding that brings the record to a multiple of eight
// bytes; the writer sends Padding(length) after the content.
std::string Header(RecordType type, std::uint16_t request_id, std::size_t length);
std::string_view Padding(std::size_t length);
// The end of a request, with the application's status and the protocol's.
std::string EndRequest(std::uint16_t request_id, std::uint32_t app_status, ProtocolStatus status);
// The answer to a management record of a type this application does not know.
std::string UnknownType(std::uint8_t type);

}  // namespace frame::fastcgi
