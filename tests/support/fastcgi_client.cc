#include "support/fastcgi_client.h"

#include <stdexcept>

namespace testkit {
namespace {

void Put16(std::string& out, int value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

void PutLength(std::string& out, std::size_t n) {
  if (n <= 127) {
    out += static_cast<char>(n);
  } else {
    out += static_cast<char>(0x80 | ((n >> 24) & 0x7F));
    out += static_cast<char>((n >> 16) & 0xFF);
    out += static_cast<char>((n >> 8) & 0xFF);
    out += static_cast<char>(n & 0xFF);
  }
}

unsigned Byte(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// A stream's content, cut into records of at most `chunk` bytes, then the
// empty record that ends it.
std::string Stream(int type, int id, const std::string& content, std::size_t chunk) {
  std::string out;
  for (std::size_t at = 0; at < content.size(); at += chunk) {
    out += FastCgiRecord(type, id, content.substr(at, chunk));
  }
  return out + FastCgiRecord(type, id, "");
}

}  // namespace

std::string FastCgiRecord(int type, int request_id, const std::string& content) {
  std::size_t padding = (8 - content.size() % 8) % 8;
  std::string out;
  out += '\x01';
  out += static_cast<char>(type);
  Put16(out, request_id);
  Put16(out, static_cast<int>(content.size()));
  out += static_cast<char>(padding);
  out += '\0';
  out += content;
  out.append(padding, '\0');
  return out;
}

std::string FastCgiPairs(const Params& params) {
  std::string out;
  for (const auto& [name, value] : params) {
    PutLength(out, name.size());
    PutLength(out, value.size());
    out += name + value;
  }
  return out;
}

std::string FastCgiRequest(int request_id, const Params& params, const std::string& input,
                           bool keep_connection, std::size_t chunk) {
  std::string begin;
  Put16(begin, 1);  // the responder role
  begin += static_cast<char>(keep_connection ? 1 : 0);
  begin.append(5, '\0');
  return FastCgiRecord(1, request_id, begin) + Stream(4, request_id, FastCgiPairs(params), chunk) +
         Stream(5, request_id, input, chunk);
}

bool ReadFastCgiAnswer(std::string& bytes, FastCgiAnswer& answer) {
  while (bytes.size() >= 8) {
    if (Byte(bytes, 0) != 1) throw std::runtime_error("a record of another version");
    std::size_t length = (Byte(bytes, 4) << 8) | Byte(bytes, 5);
    std::size_t padding = Byte(bytes, 6);
    if (bytes.size() < 8 + length + padding) return false;
    // Some clients misread records that are not padded as recommended.
    if ((length + padding) % 8 != 0) throw std::runtime_error("a record not padded to 8 bytes");
    int type = static_cast<int>(Byte(bytes, 1));
    int id = static_cast<int>((Byte(bytes, 2) << 8) | Byte(bytes, 3));
    std::string content = bytes.substr(8, length);
    bytes.erase(0, 8 + length + padding);
    answer.types.push_back(type);
    switch (type) {
      case 6:
        answer.out += content;
        break;
      case 7:
        answer.err += content;
        break;
      case 10:
        answer.values += content;
        break;
      case 11:
        if (!content.empty()) answer.unknown_type_answered += content[0];
        break;
      case 3:
        answer.ended = true;
        answer.request_id = id;
        if (content.size() >= 5) {
          answer.app_status = (Byte(content, 0) << 24) | (Byte(content, 1) << 16) |
                              (Byte(content, 2) << 8) | Byte(content, 3);
          answer.protocol_status = static_cast<int>(Byte(content, 4));
        }
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace testkit
