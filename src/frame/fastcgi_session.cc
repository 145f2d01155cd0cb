#include "frame/fastcgi_session.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace frame::fastcgi {

using platform::IoResult;

bool Answer::Send(RecordType type, std::string_view first, std::string_view second,
                  std::string_view after) {
  if (broken_) return false;
  // Records of at most kMaxContent bytes each, their headers between the
  // pieces, all in one gathered write, `after` (whole records) at its end.
  // The headers are made in room reserved for all of them, so that the
  // pieces that show them stay valid.
  std::size_t total = first.size() + second.size();
  if (total == 0 && after.empty()) return true;
  std::size_t records = (total + kMaxContent - 1) / kMaxContent;
  std::vector<std::string> headers;
  headers.reserve(records);
  std::vector<std::string_view> pieces;
  pieces.reserve(3 * records + 2);
  std::size_t room = 0;
  std::size_t length = 0;
  for (std::string_view part : {first, second}) {
    while (!part.empty()) {
      if (room == 0) {
        room = length = total < kMaxContent ? total : kMaxContent;
        headers.push_back(Header(type, id_, room));
        pieces.emplace_back(headers.back());
      }
      std::size_t n = part.size() < room ? part.size() : room;
      pieces.push_back(part.substr(0, n));
      part.remove_prefix(n);
      room -= n;
      total -= n;
      if (room == 0 && !Padding(length).empty()) pieces.push_back(Padding(length));
    }
  }
  if (!after.empty()) pieces.push_back(after);
  int left = MsLeft();
  broken_ = left == 0 || stream_.Write(pieces.data(), pieces.size(), left) != IoResult::kDone;
  return !broken_;
}

int Answer::MsLeft() const {
  auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

bool Answer::Output(std::string_view first, std::string_view second, bool second_stays) {
  if (!SendHeld()) return false;
  if (!second_stays || broken_) return Send(kStdout, first, second);
  held_ = true;
  held_first_.assign(first);
  held_second_ = second;
  return true;
}

bool Answer::Error(std::string_view text) {
  if (!SendHeld()) return false;
  wrote_errors_ = wrote_errors_ || !text.empty();
  return Send(kStderr, text, {});
}

bool Answer::End(std::string_view end) {
  std::string first = std::move(held_first_);
  std::string_view second = held_second_;
  held_first_.clear();
  held_second_ = {};
  held_ = false;
  return Send(kStdout, first, second, end);
}

Session::Session(Stream& stream, const Limits& limits)
    : stream_(stream), limits_(limits), idle_since_(Clock::now()) {}

bool Session::InRequest() const { return state_ != State::kIdle || reader_.Partial() || whole_; }

Session::Clock::time_point Session::Deadline() const {
  if (InRequest()) return request_start_ + std::chrono::milliseconds(limits_.wait_in_request_ms);
  return idle_since_ + std::chrono::milliseconds(limits_.wait_idle_ms);
}

std::optional<SessionEnd> Session::Feed(std::string_view bytes) {
  if (bytes.empty()) return std::nullopt;
  if (!InRequest()) request_start_ = Clock::now();
  reader_.Feed(bytes);
  return TakeRecords();
}

std::optional<SessionEnd> Session::TakeRecords() {
  Record record;
  while (!whole_) {
    RecordReader::Next next = reader_.Take(record);
    if (next == RecordReader::Next::kMore) break;
    if (next == RecordReader::Next::kNotFastCgi) return SessionEnd::kMalformed;
    if (std::optional<SessionEnd> end = Handle(record)) return end;
  }
  if (!InRequest()) idle_since_ = Clock::now();
  return std::nullopt;
}

bool Session::Write(const std::string& record, int timeout_ms) {
  std::string_view piece(record);
  return timeout_ms > 0 && stream_.Write(&piece, 1, timeout_ms) == IoResult::kDone;
}

// A record, handled; a value when the connection ends with it.
std::optional<SessionEnd> Session::Handle(const Record& record) {
  if (record.request_id == 0) return Management(record);
  switch (record.type) {
    case kBeginRequest:
      return Begin(record);
    case kAbortRequest:
      if (state_ == State::kIdle || record.request_id != id_) return std::nullopt;
      state_ = State::kIdle;
      return Ended(EndRequest(id_, 0, kRequestComplete), limits_.wait_write_ms);
    case kParams:
      if (state_ != State::kParams || record.request_id != id_) return std::nullopt;
      return Parameters(record.content);
    case kStdin:
      if (state_ != State::kBody || record.request_id != id_) return std::nullopt;
      return Body(record.content);
    default:
      // Records of a request that is not under way, data for a role this
      // application does not play, and types it does not know: none needs
      // an answer.
      return std::nullopt;
  }
}

std::optional<SessionEnd> Session::Management(const Record& record) {
  if (record.type != kGetValues) {
    return Write(UnknownType(record.type), limits_.wait_write_ms)
               ? std::nullopt
               : std::optional(SessionEnd::kBroken);
  }
  Pairs asked;
  if (!ParsePairs(record.content, asked)) return SessionEnd::kMalformed;
  std::string values;
  for (const auto& [name, ignored] : asked) {
    // One request at a time, on one connection.
    if (name == "FCGI_MAX_CONNS" || name == "FCGI_MAX_REQS") AppendPair(values, name, "1");
    if (name == "FCGI_MPXS_CONNS") AppendPair(values, name, "0");
  }
  if (values.size() > kMaxContent) return SessionEnd::kMalformed;
  std::string result = Header(kGetValuesResult, 0, values.size());
  result.append(values).append(Padding(values.size()));
  if (!Write(result, limits_.wait_write_ms)) return SessionEnd::kBroken;
  return std::nullopt;
}

std::optional<SessionEnd> Session::Begin(const Record& record) {
  BeginRequest begin;
  if (!ParseBeginRequest(record.content, begin)) return SessionEnd::kMalformed;
  if (state_ != State::kIdle) {
    // The one under way goes on; the same number again is no request.
    if (record.request_id == id_) return SessionEnd::kMalformed;
    if (!Write(EndRequest(record.request_id, 0, kCantMultiplexConnection), limits_.wait_write_ms)) {
      return SessionEnd::kBroken;
    }
    return std::nullopt;
  }
  if (begin.role != kResponderRole) {
    keep_ = begin.keep_connection;
    return Ended(EndRequest(record.request_id, 0, kUnknownRole), limits_.wait_write_ms);
  }
  id_ = record.request_id;
  keep_ = begin.keep_connection;
  state_ = State::kParams;
  params_.clear();
  body_.clear();
  return std::nullopt;
}

std::optional<SessionEnd> Session::Parameters(std::string_view content) {
  if (content.empty()) {
    // The parameters are whole: the body comes next.
    pairs_.clear();
    if (!ParsePairs(params_, pairs_)) return SessionEnd::kMalformed;
    params_.clear();
    state_ = State::kBody;
    return std::nullopt;
  }
  if (params_.size() + content.size() > limits_.max_params) {
    // More than any request of this program carries: refused, and the
    // rest of it is not waited for.
    state_ = State::kIdle;
    if (!Write(EndRequest(id_, 0, kOverloaded), limits_.wait_write_ms)) return SessionEnd::kBroken;
    return SessionEnd::kMalformed;
  }
  params_.append(content);
  return std::nullopt;
}

std::optional<SessionEnd> Session::Body(std::string_view content) {
  if (!content.empty()) {
    std::size_t room = limits_.max_body_kept - body_.size();
    body_.append(content.substr(0, content.size() < room ? content.size() : room));
    return std::nullopt;
  }
  // The request is whole; it is answered when its turn comes.
  state_ = State::kIdle;
  whole_ = true;
  return std::nullopt;
}

std::optional<SessionEnd> Session::AnswerWhole(const Serve& serve) {
  if (!whole_) return std::nullopt;
  whole_ = false;
  Answer answer(stream_, id_, limits_.wait_write_ms);
  serve(pairs_, body_, answer);
  pairs_.clear();
  body_.clear();
  if (answer.Broken()) return SessionEnd::kBroken;
  std::string end = Header(kStdout, id_, 0);
  if (answer.WroteErrors()) end += Header(kStderr, id_, 0);
  end += EndRequest(id_, 0, kRequestComplete);
  // What the answer held back goes out with its end, in one write.
  if (!answer.End(end)) return SessionEnd::kBroken;
  if (!keep_) return SessionEnd::kDone;
  // Records that came after the request (the next one, on a kept
  // connection) are taken now; their bound runs from now.
  request_start_ = Clock::now();
  return TakeRecords();
}

// Writes the records that end a request; the connection ends with it
// unless the server asked to keep it.
std::optional<SessionEnd> Session::Ended(const std::string& records, int timeout_ms) {
  if (!Write(records, timeout_ms)) return SessionEnd::kBroken;
  if (!keep_) return SessionEnd::kDone;
  return std::nullopt;
}

SessionEnd ServeConnection(Stream& stream, const Serve& serve, const Limits& limits) {
  Session session(stream, limits);
  char chunk[65536];
  for (;;) {
    if (session.HasWhole()) {
      if (std::optional<SessionEnd> end = session.AnswerWhole(serve)) return *end;
      continue;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(session.Deadline() -
                                                                      Session::Clock::now());
    int timeout_ms = static_cast<int>(std::max<std::int64_t>(0, left.count()));
    std::size_t got = 0;
    switch (stream.Read(chunk, sizeof chunk, got, !session.InRequest(), timeout_ms)) {
      case IoResult::kDone:
        break;
      case IoResult::kEnd:
        return SessionEnd::kClosed;
      case IoResult::kTimedOut:
        return SessionEnd::kTimedOut;
      case IoResult::kShutdown:
        return SessionEnd::kShutdown;
      case IoResult::kBroken:
        return SessionEnd::kBroken;
    }
    if (std::optional<SessionEnd> end = session.Feed(std::string_view(chunk, got))) return *end;
  }
}

}  // namespace frame::fastcgi
