// The FastCGI session on a connection held in memory: what a server may send,
// well or badly formed, and what comes back. The server's side is the
// tests' own client (support/fastcgi_client.h).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "frame/fastcgi_session.h"
#include "support/fastcgi_client.h"

namespace frame::fastcgi {
namespace {

using platform::IoResult;
using testkit::FastCgiRecord;
using testkit::FastCgiRequest;

// The server's bytes, handed over `step` at a time; what the session writes.
class MemoryStream : public Stream {
 public:
  explicit MemoryStream(std::string in, std::size_t step = 65536, bool stalls = false)
      : in_(std::move(in)), step_(step), stalls_(stalls) {}
  IoResult Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                int /*timeout_ms*/) override {
    got = 0;
    if (at_ == in_.size()) {
      idle_at_end = idle;
      return stalls_ ? IoResult::kTimedOut : IoResult::kEnd;
    }
    got = std::min({size, step_, in_.size() - at_});
    in_.copy(buffer, got, at_);
    at_ += got;
    return IoResult::kDone;
  }
  IoResult Write(const std::string_view* pieces, std::size_t count, int /*timeout_ms*/) override {
    if (broken) return IoResult::kBroken;
    for (std::size_t i = 0; i < count; ++i) out.append(pieces[i]);
    ++writes;
    return IoResult::kDone;
  }
  std::string out;
  int writes = 0;
  bool broken = false;
  bool idle_at_end = false;

 private:
  std::string in_;
  std::size_t at_ = 0, step_;
  bool stalls_;
};

// Answers every request with its parameters and its body.
struct EchoServer {
  Serve serve = [this](const Pairs& params, std::string_view body, Answer& answer) {
    ++requests;
    std::string text;
    for (const auto& [name, value] : params) text += name + "=" + value + ";";
    answer.Error("noted\n");
    std::string echoed = "[";
    echoed.append(body).append("]");
    answer.Output(text, echoed);
  };
  int requests = 0;
};

std::vector<testkit::FastCgiAnswer> Answers(std::string bytes) {
  std::vector<testkit::FastCgiAnswer> answers;
  for (;;) {
    testkit::FastCgiAnswer answer;
    if (!testkit::ReadFastCgiAnswer(bytes, answer)) {
      if (!answer.types.empty()) answers.push_back(answer);
      return answers;
    }
    answers.push_back(answer);
  }
}

TEST(FastCgiSession, ARequestWholeOrByteByByte) {
  std::string request = FastCgiRequest(7, {{"HTTP_HOST", "x"}, {"A", "1"}}, "body");
  for (std::size_t step : {std::size_t{65536}, std::size_t{1}, std::size_t{3}}) {
    EchoServer server;
    MemoryStream stream(request, step);
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kDone) << step;
    auto answers = Answers(stream.out);
    ASSERT_EQ(answers.size(), 1u) << step;
    EXPECT_EQ(answers[0].out, "A=1;HTTP_HOST=x;[body]");
    EXPECT_EQ(answers[0].err, "noted\n");
    EXPECT_EQ(answers[0].request_id, 7);
    EXPECT_EQ(answers[0].protocol_status, 0);
    EXPECT_EQ(answers[0].app_status, 0u);
    // Standard error, standard output, the end of both streams, the end.
    EXPECT_EQ(answers[0].types, (std::vector<int>{7, 6, 6, 7, 3}));
  }
}

TEST(FastCgiSession, LongNamesValuesAndStreamsAcrossRecords) {
  std::string value(300, 'v');    // a four-byte length
  std::string body(200000, 'b');  // in four records
  std::string request = FastCgiRequest(1, {{"LONG", value}}, body, false, 100);
  EchoServer server;
  MemoryStream stream(request);
  ServeConnection(stream, server.serve);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].out, "LONG=" + value + ";[" + body + "]");
}

TEST(FastCgiSession, KeptConnectionsCarryOneRequestAfterAnother) {
  std::string bytes =
      FastCgiRequest(1, {{"N", "1"}}, "", true) + FastCgiRequest(2, {{"N", "2"}}, "", true);
  EchoServer server;
  MemoryStream stream(bytes);
  EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kClosed);
  EXPECT_TRUE(stream.idle_at_end);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[1].out, "N=2;[]");
  EXPECT_EQ(answers[1].request_id, 2);
}

TEST(FastCgiSession, ASecondRequestWhileOneIsUnderWayIsRefused) {
  std::string first = FastCgiRequest(1, {{"N", "1"}});
  std::string second = FastCgiRequest(2, {{"N", "2"}});
  // The second begins after the first's begin record, before its parameters.
  std::string bytes = first.substr(0, 16) + second.substr(0, 16) + first.substr(16);
  EchoServer server;
  MemoryStream stream(bytes);
  EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kDone);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].request_id, 2);
  EXPECT_EQ(answers[0].protocol_status, kCantMultiplexConnection);
  EXPECT_EQ(answers[1].request_id, 1);
  EXPECT_EQ(answers[1].out, "N=1;[]");
  EXPECT_EQ(server.requests, 1);
}

TEST(FastCgiSession, ManagementRecordsAndTypesItDoesNotKnow) {
  std::string asked;
  for (const char* name : {"FCGI_MAX_CONNS", "FCGI_MAX_REQS", "FCGI_MPXS_CONNS", "OTHER"}) {
    asked += static_cast<char>(std::string(name).size());
    asked += '\0';
    asked += name;
  }
  std::string bytes = FastCgiRecord(9, 0, asked) + FastCgiRecord(42, 0, "") +
                      FastCgiRecord(42, 1, "x") +  // an application record of no known type
                      FastCgiRecord(8, 1, "data") + FastCgiRequest(1, {{"N", "1"}});
  EchoServer server;
  MemoryStream stream(bytes);
  EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kDone);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].values, std::string("\x0E\x01"
                                           "FCGI_MAX_CONNS1"
                                           "\x0D\x01"
                                           "FCGI_MAX_REQS1"
                                           "\x0F\x01"
                                           "FCGI_MPXS_CONNS0"));
  EXPECT_EQ(answers[0].unknown_type_answered, std::string(1, '\x2A'));
  EXPECT_EQ(answers[0].out, "N=1;[]");
}

TEST(FastCgiSession, OtherRolesAndAbortedRequests) {
  std::string filter = FastCgiRecord(1, 3, std::string("\x00\x03\x01\0\0\0\0\0", 8));
  std::string aborted =
      FastCgiRecord(1, 4, std::string("\x00\x01\x01\0\0\0\0\0", 8)) + FastCgiRecord(2, 4, "");
  EchoServer server;
  MemoryStream stream(filter + aborted + FastCgiRequest(5, {}));
  EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kDone);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].protocol_status, kUnknownRole);
  EXPECT_EQ(answers[1].request_id, 4);
  EXPECT_EQ(answers[1].protocol_status, kRequestComplete);
  EXPECT_EQ(answers[2].request_id, 5);
  EXPECT_EQ(server.requests, 1);
}

TEST(FastCgiSession, WhatIsNoFastCgiOrPastTheLimitsEndsTheConnection) {
  EchoServer server;
  {
    MemoryStream stream("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kMalformed);
  }
  {
    // A pair whose value runs past the parameters' end.
    std::string bad = std::string("\x01\x7F", 2) + "N" + "short";
    MemoryStream stream(FastCgiRecord(1, 1, std::string("\x00\x01\0\0\0\0\0\0", 8)) +
                        FastCgiRecord(4, 1, bad) + FastCgiRecord(4, 1, ""));
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kMalformed);
  }
  {
    Limits small;
    small.max_params = 1000;
    MemoryStream stream(FastCgiRequest(1, {{"BIG", std::string(2000, 'x')}}));
    EXPECT_EQ(ServeConnection(stream, server.serve, small), SessionEnd::kMalformed);
    auto answers = Answers(stream.out);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].protocol_status, kOverloaded);
  }
  {
    // A begin record too short for its content.
    MemoryStream stream(FastCgiRecord(1, 1, "xy"));
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kMalformed);
  }
  EXPECT_EQ(server.requests, 0);
}

TEST(FastCgiSession, ABodyIsKeptUpToItsLimitAndTheRestRead) {
  Limits small;
  small.max_body_kept = 10;
  EchoServer server;
  MemoryStream stream(FastCgiRequest(1, {}, std::string(100, 'b'), false, 7));
  EXPECT_EQ(ServeConnection(stream, server.serve, small), SessionEnd::kDone);
  EXPECT_EQ(Answers(stream.out)[0].out, std::string("[").append(10, 'b').append("]"));
}

TEST(FastCgiSession, StalledCutShortOrBrokenConnections) {
  std::string request = FastCgiRequest(1, {{"N", "1"}});
  EchoServer server;
  {
    // The record cut short, and the server says no more.
    MemoryStream stream(request.substr(0, 20), 65536, true);
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kTimedOut);
    EXPECT_FALSE(stream.idle_at_end);
  }
  {
    MemoryStream stream(request.substr(0, 20));
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kClosed);
  }
  {
    MemoryStream stream(request);
    stream.broken = true;
    EXPECT_EQ(ServeConnection(stream, server.serve), SessionEnd::kBroken);
  }
  EXPECT_EQ(server.requests, 1);  // the one whose answer could not be written
}

// A peer that sends a byte every 20 ms: each read comes well within its
// wait, but the request as a whole must come within its one bound.
class TricklingStream : public Stream {
 public:
  explicit TricklingStream(std::string in) : in_(std::move(in)) {}
  IoResult Read(char* buffer, std::size_t /*size*/, std::size_t& got, bool /*idle*/,
                int timeout_ms) override {
    got = 0;
    if (timeout_ms < 20) return IoResult::kTimedOut;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (at_ == in_.size()) return IoResult::kEnd;
    buffer[0] = in_[at_++];
    got = 1;
    return IoResult::kDone;
  }
  IoResult Write(const std::string_view*, std::size_t, int) override { return IoResult::kDone; }
  std::size_t at_ = 0;

 private:
  std::string in_;
};

TEST(FastCgiSession, ARequestMustBeWholeWithinOneBoundNotOneForEachRead) {
  Limits limits;
  limits.wait_in_request_ms = 300;
  EchoServer server;
  TricklingStream stream(FastCgiRequest(1, {{"A", "1"}}));
  EXPECT_EQ(ServeConnection(stream, server.serve, limits), SessionEnd::kTimedOut);
  EXPECT_LT(stream.at_, 20u);
  EXPECT_EQ(server.requests, 0);
}

TEST(FastCgiSession, AnAnswerTooLongForOneRecord) {
  Serve big = [](const Pairs&, std::string_view, Answer& answer) {
    answer.Output(std::string(70000, 'h'), std::string(140000, 'p'));
  };
  MemoryStream stream(FastCgiRequest(1, {}));
  ServeConnection(stream, big);
  auto answers = Answers(stream.out);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].out, std::string(70000, 'h') + std::string(140000, 'p'));
  EXPECT_EQ(std::count(answers[0].types.begin(), answers[0].types.end(), 6), 4 + 1);
  EXPECT_EQ(stream.writes, 2);  // the answer in one write, the end in another
}

}  // namespace
}  // namespace frame::fastcgi
