#include "frame/fastcgi_protocol.h"

namespace frame::fastcgi {
namespace {

constexpr std::uint8_t kVersion = 1;

std::uint8_t Byte(std::string_view data, std::size_t at) {
  return static_cast<std::uint8_t>(data[at]);
}

// A pair's length at `at`: one byte below 128, else four with the top bit
// set. False when the data ends first.
bool ReadLength(std::string_view data, std::size_t& at, std::size_t& length) {
  if (at >= data.size()) return false;
  if ((Byte(data, at) & 0x80) == 0) {
    length = Byte(data, at++);
    return true;
  }
  if (data.size() - at < 4) return false;
  length = (static_cast<std::size_t>(Byte(data, at) & 0x7F) << 24) |
           (static_cast<std::size_t>(Byte(data, at + 1)) << 16) |
           (static_cast<std::size_t>(Byte(data, at + 2)) << 8) | Byte(data, at + 3);
  at += 4;
  return true;
}

void AppendLength(std::string& out, std::size_t length) {
  if (length < 0x80) {
    out += static_cast<char>(length);
    return;
  }
  out += static_cast<char>(((length >> 24) & 0x7F) | 0x80);
  out += static_cast<char>((length >> 16) & 0xFF);
  out += static_cast<char>((length >> 8) & 0xFF);
  out += static_cast<char>(length & 0xFF);
}

}  // namespace

void RecordReader::Feed(std::string_view bytes) {
  // What was taken goes before more comes, so that the buffer stays the
  // size of one record and a read.
  if (start_ > 0) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

RecordReader::Next RecordReader::Take(Record& record) {
  std::string_view held(buffer_);
  held.remove_prefix(start_);
  if (held.size() < kHeaderSize) return Next::kMore;
  if (Byte(held, 0) != kVersion) return Next::kNotFastCgi;
  std::size_t content = (static_cast<std::size_t>(Byte(held, 4)) << 8) | Byte(held, 5);
  std::size_t padding = Byte(held, 6);
  if (held.size() < kHeaderSize + content + padding) return Next::kMore;
  record.type = Byte(held, 1);
  record.request_id = static_cast<std::uint16_t>((Byte(held, 2) << 8) | Byte(held, 3));
  record.content = held.substr(kHeaderSize, content);
  start_ += kHeaderSize + content + padding;
  return Next::kRecord;
}

bool ParseBeginRequest(std::string_view content, BeginRequest& begin) {
  if (content.size() < 8) return false;
  begin.role = static_cast<std::uint16_t>((Byte(content, 0) << 8) | Byte(content, 1));
  begin.keep_connection = (Byte(content, 2) & kKeepConnection) != 0;
  return true;
}

bool ParsePairs(std::string_view data, Pairs& pairs) {
  std::size_t at = 0;
  while (at < data.size()) {
    std::size_t name = 0, value = 0;
    if (!ReadLength(data, at, name) || !ReadLength(data, at, value)) return false;
    if (name > data.size() - at || value > data.size() - at - name) return false;
    pairs.emplace_back(std::string(data.substr(at, name)),
                       std::string(data.substr(at + name, value)));
    at += name + value;
  }
  return true;
}

void AppendPair(std::string& out, std::string_view name, std::string_view value) {
  AppendLength(out, name.size());
  AppendLength(out, value.size());
  out.append(name).append(value);
}

std::string Header(RecordType type, std::uint16_t request_id, std::size_t length) {
  std::string header(kHeaderSize, '\0');
  header[0] = static_cast<char>(kVersion);
  header[1] = static_cast<char>(type);
  header[2] = static_cast<char>(request_id >> 8);
  header[3] = static_cast<char>(request_id & 0xFF);
  header[4] = static_cast<char>((length >> 8) & 0xFF);
  header[5] = static_cast<char>(length & 0xFF);
  header[6] = static_cast<char>(Padding(length).size());
  return header;
}

std::string_view Padding(std::size_t length) {
  static constexpr char kZeros[kHeaderSize] = {};
  return {kZeros, (kHeaderSize - length % kHeaderSize) % kHeaderSize};
}

std::string EndRequest(std::uint16_t request_id, std::uint32_t app_status, ProtocolStatus status) {
  std::string record = Header(kEndRequest, request_id, 8);
  record += static_cast<char>((app_status >> 24) & 0xFF);
  record += static_cast<char>((app_status >> 16) & 0xFF);
  record += static_cast<char>((app_status >> 8) & 0xFF);
  record += static_cast<char>(app_status & 0xFF);
  record += static_cast<char>(status);
  record.append(3, '\0');
  return record;
}

std::string UnknownType(std::uint8_t type) {
  std::string record = Header(kUnknownType, 0, 8);
  record += static_cast<char>(type);
  record.append(7, '\0');
  return record;
}

}  // namespace frame::fastcgi
