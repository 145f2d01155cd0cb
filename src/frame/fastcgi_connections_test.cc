// The persistent loop over many connections, in a child process that serves
// a listening socket as the program does: peers that stay silent, trickle
// or come in numbers hold nobody up; connections that fail on their way in
// are passed over; a listener that is gone ends the loop.
#ifndef _WIN32
#include "frame/fastcgi_connections.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/listener.h"
#include "support/fastcgi_client.h"
#include "support/test_site.h"

namespace frame::fastcgi {
namespace {

namespace faults = platform::faults;
using testkit::FastCgiRequest;

// Answers each request with "ok".
void AnswerOk(const Pairs& /*params*/, std::string_view /*body*/, Answer& answer) {
  answer.Output("ok");
}

// The loop as the program runs it, `before` done first in the child.
int ServeInChild(const std::function<void()>& before) {
  platform::PrepareListener();
  before();
  std::string error;
  bool ended_well = ServeConnections(&AnswerOk, error);
  faults::Reset();
  return ended_well ? 0 : 3;
}

// Whether bytes (or the end) come on `fd` within `ms`.
bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) == 1;
}

// One request on a connection of its own; its answer's standard output, or
// "(none)" when no whole answer came within 10 s.
std::string Ask(testkit::FastCgiProcess& process) {
  int fd = process.Connect();
  std::string request = FastCgiRequest(1, {{"A", "1"}});
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string bytes;
  testkit::FastCgiAnswer answer;
  char chunk[4096];
  while (!answer.ended && Readable(fd, 10000)) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
    testkit::ReadFastCgiAnswer(bytes, answer);
  }
  close(fd);
  return answer.ended ? answer.out : "(none)";
}

class Connections : public ::testing::Test {
 protected:
  testkit::TempDir dir;
  std::string Socket() const { return dir.path() + "/socket"; }
};

TEST_F(Connections, SilentTricklingAndManyPeersHoldNobodyUp) {
  testkit::FastCgiProcess process([] { return ServeInChild([] {}); }, Socket());
  std::vector<int> idle(50);
  for (int& fd : idle) fd = process.Connect();
  // A peer that sends its request a byte at a time, slowly.
  int slow = process.Connect();
  std::string request = FastCgiRequest(1, {{"SLOW", "1"}});
  send(slow, request.data(), 1, MSG_NOSIGNAL);
  // Another that begins a request and says no more.
  int stalled = process.Connect();
  send(stalled, request.data(), 20, MSG_NOSIGNAL);
  for (int round = 0; round < 5; ++round) {
    EXPECT_EQ(Ask(process), "ok") << "round " << round;
    send(slow, request.data() + 1 + round, 1, MSG_NOSIGNAL);
  }
  // Idle connections beyond a few were closed, the oldest first.
  EXPECT_TRUE(Readable(idle.front(), 2000));
  EXPECT_FALSE(Readable(idle.back(), 0));
  for (int fd : idle) close(fd);
  close(slow);
  close(stalled);
  EXPECT_EQ(process.Terminate(), 0);
}

TEST_F(Connections, IdleConnectionsBeyondTheLimitAreClosedOldestFirst) {
  testkit::FastCgiProcess process([] { return ServeInChild([] {}); }, Socket());
  const std::size_t count = kMaxIdleConnections + 3;
  std::vector<int> idle;
  for (std::size_t i = 0; i < count; ++i) {
    idle.push_back(process.Connect());
    // Each taken before the next comes, so that they are taken in order.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // The asking connection is one more idle one until its bytes are read.
  EXPECT_EQ(Ask(process), "ok");
  for (std::size_t i = 0; i < count; ++i) {
    bool closed = i < count + 1 - kMaxIdleConnections;
    EXPECT_EQ(Readable(idle[i], closed ? 2000 : 100), closed) << "connection " << i;
    close(idle[i]);
  }
}

// A connection kept open after its request waits idle; asked to end, the
// process does not wait out that connection's idle time.
TEST_F(Connections, AKeptIdleConnectionDoesNotDelayTheEnd) {
  testkit::FastCgiProcess process([] { return ServeInChild([] {}); }, Socket());
  int kept = process.Connect();
  std::string request = FastCgiRequest(1, {{"A", "1"}}, "", true);
  send(kept, request.data(), request.size(), MSG_NOSIGNAL);
  ASSERT_TRUE(Readable(kept, 5000));  // answered, and kept open
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(process.Terminate(1000), 0);
  close(kept);
}

// The network errors Linux hands to accept for a connection that failed on
// its way, a firewall's refusal, and a shortage of memory: the process goes
// on and answers the next connection.
TEST_F(Connections, AConnectionThatFailedOnItsWayIsPassedOver) {
  for (int error :
       {ECONNABORTED, EPROTO, ENETDOWN, EHOSTUNREACH, ENETUNREACH, EPERM, ENOBUFS, ENOMEM}) {
    testkit::FastCgiProcess process(
        [error] { return ServeInChild([error] { faults::FailNth(1, error); }); }, Socket());
    EXPECT_EQ(Ask(process), "ok") << std::strerror(error);
    EXPECT_TRUE(process.Running()) << std::strerror(error);
    bool told =
        process.ErrorOutput().find("Connections from the web server wait") != std::string::npos;
    EXPECT_EQ(told, error == ENOBUFS || error == ENOMEM) << process.ErrorOutput();
    EXPECT_EQ(process.Terminate(), 0);
  }
}

TEST_F(Connections, AListenerThatIsGoneEndsTheLoop) {
  for (int error : {EBADF, ENOTSOCK, EINVAL}) {
    testkit::FastCgiProcess process(
        [error] { return ServeInChild([error] { faults::FailNth(1, error); }); }, Socket());
    close(process.Connect());
    EXPECT_EQ(process.WaitForEnd(5000), 3) << std::strerror(error);
  }
}

}  // namespace
}  // namespace frame::fastcgi
#endif
