// One connection from a FastCGI server, served request by request: the
// records of a request are gathered (its parameters and its body), the
// request is handed to `serve`, and its answer goes back in records
// (standard error lines, standard output, the end of the request), as the
// protocol has it. Management records are answered. The program answers one
// request at a time, so a second request begun while one is under way is
// refused with the protocol's answer; a stream that is no FastCGI, a
// request past the limits or a connection that stalls is closed. Nothing it
// holds grows with the number of requests.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "frame/fastcgi_protocol.h"
#include "platform/listener.h"

namespace frame::fastcgi {

struct Limits {
  std::size_t max_params = std::size_t{1} << 20;     // bytes of one request's parameters
  std::size_t max_body_kept = std::size_t{1} << 20;  // bytes of a body kept; the rest is dropped
  int wait_in_request_ms = 60000;                    // for all of a request, from its first byte
  int wait_idle_ms = 10000;   // for another request on a connection kept open
  int wait_write_ms = 60000;  // for the server to take what is written
};

// The bytes of the connection: platform::Connection for the program, bytes
// in memory for the tests and the fuzz target.
class Stream {
 public:
  virtual ~Stream() = default;
  virtual platform::IoResult Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                                  int timeout_ms) = 0;
  virtual platform::IoResult Write(const std::string_view* pieces, std::size_t count,
                                   int timeout_ms) = 0;
};

// A request's way back to the server, all of it to be taken within
// `timeout_ms` from the answer's start. After a write fails or runs out of
// that time, nothing more is written and Broken() is true.
class Answer {
 public:
  Answer(Stream& stream, std::uint16_t request_id, int timeout_ms)
      : stream_(stream),
        id_(request_id),
        deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms)) {}
  // Standard output: `first` and `second`, in records of their own size.
  // Where `second` stays until the next request begins, both are held
  // back (`first` copied) to go out with the records that end the
  // request, in one write; anything else sent first sends them before it.
  bool Output(std::string_view first, std::string_view second = {}, bool second_stays = false);
  // Standard error: `text`, the server's error log's to keep.
  bool Error(std::string_view text);
  // Sends what is held back, then `end`, in one write.
  bool End(std::string_view end);
  bool Broken() const { return broken_; }
  bool WroteErrors() const { return wrote_errors_; }
  // What is left of the answer's time, in milliseconds; 0 once it is over.
  int MsLeft() const;

 private:
  bool Send(RecordType type, std::string_view first, std::string_view second,
            std::string_view after = {});
  bool SendHeld() { return !held_ || End({}); }
  Stream& stream_;
  std::uint16_t id_;
  std::chrono::steady_clock::time_point deadline_;
  bool broken_ = false;
  bool wrote_errors_ = false;
  bool held_ = false;
  std::string held_first_;
  std::string_view held_second_;
};

using Serve = std::function<void(const Pairs& params, std::string_view body, Answer& answer)>;

enum class SessionEnd {
  kClosed,     // the server closed the connection
  kDone,       // a request that asked for no more ended
  kBroken,     // the connection failed
  kMalformed,  // no FastCGI stream, or past the limits
  kTimedOut,   // the server sent nothing for too long
  kShutdown,   // the process was asked to end while no request was under way
};

// One connection's records, fed as they come and gathered into whole
// requests; the connection's owner reads the bytes, answers a whole request
// when its turn comes, and ends the connection when a call says so.
class Session {
 public:
  using Clock = std::chrono::steady_clock;
  Session(Stream& stream, const Limits& limits);

  // The bytes that came. Records after a request that became whole stay
  // held until it is answered. A value: the connection ends so.
  std::optional<SessionEnd> Feed(std::string_view bytes);
  // Whether a whole request waits to be answered.
  bool HasWhole() const { return whole_; }
  // Answers the whole request through `serve`, then takes the records held
  // after it. A value: the connection ends so.
  std::optional<SessionEnd> AnswerWhole(const Serve& serve);
  // Whether bytes of a request have come (it is then no idle connection).
  bool InRequest() const;
  // When the connection has waited too long: the request under way must be
  // whole within its one bound from its first byte; an idle connection is
  // given its idle wait from its last request.
  Clock::time_point Deadline() const;

 private:
  enum class State { kIdle, kParams, kBody };
  std::optional<SessionEnd> TakeRecords();
  std::optional<SessionEnd> Handle(const Record& record);
  std::optional<SessionEnd> Management(const Record& record);
  std::optional<SessionEnd> Begin(const Record& record);
  std::optional<SessionEnd> Parameters(std::string_view content);
  std::optional<SessionEnd> Body(std::string_view content);
  std::optional<SessionEnd> Ended(const std::string& records, int timeout_ms);
  bool Write(const std::string& record, int timeout_ms);

  Stream& stream_;
  const Limits& limits_;
  RecordReader reader_;
  State state_ = State::kIdle;
  bool whole_ = false;
  std::uint16_t id_ = 0;
  bool keep_ = false;
  std::string params_;
  Pairs pairs_;
  std::string body_;
  Clock::time_point request_start_;  // the first byte of the request under way
  Clock::time_point idle_since_;
};

// Serves a connection that is read from alone until it ends.
SessionEnd ServeConnection(Stream& stream, const Serve& serve, const Limits& limits = Limits());

}  // namespace frame::fastcgi
