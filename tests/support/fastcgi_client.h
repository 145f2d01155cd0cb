// The web server's side of FastCGI, for the tests and the Windows driver:
// the bytes a server sends for one request, and the records of the answer
// read back. Written from the protocol's description on its own, not from
// the program's code, so that a shared misreading cannot pass unseen.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testkit {

using Params = std::map<std::string, std::string>;

// One record: type, request id, content, padded to a multiple of eight.
std::string FastCgiRecord(int type, int request_id, const std::string& content);
// The name-value pairs of `params` as a parameters stream carries them.
std::string FastCgiPairs(const Params& params);
// A whole request as a server sends it: begin (responder role, keeping the
// connection when asked), the parameters in records of at most `chunk`
// bytes, their end, the input likewise, its end.
std::string FastCgiRequest(int request_id, const Params& params, const std::string& input = "",
                           bool keep_connection = false, std::size_t chunk = 65535);

struct FastCgiAnswer {
  std::string out, err;  // the standard output and error streams
  bool ended = false;    // the end-of-request record came
  std::uint32_t app_status = 0;
  int protocol_status = -1;
  int request_id = -1;
  std::vector<int> types;             // of every record read, in order
  std::string unknown_type_answered;  // the types named by unknown-type records
  std::string values;                 // the content of a get-values result
};

// Reads records from the front of `bytes` (taking what it reads) into
// `answer`; true once a request's end has been read. Throws on a record of
// another version.
bool ReadFastCgiAnswer(std::string& bytes, FastCgiAnswer& answer);

}  // namespace testkit
