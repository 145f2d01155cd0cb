// The persistent loop over many connections, in a child process that serves
// a listening socket as the program does: peers that stay silent, trickle
// or come in numbers hold nobody up; a burst that queued while the process
// could not run is answered whole; an idle connection goes only after its
// silence, never while its request waits unread; processes that share a
// listener share its connections; connections that fail on their way in
// are passed over; a listener that is gone ends the loop.
#ifndef _WIN32
#include "frame/fastcgi_connections.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
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

// Answers "SLOW" requests after 800 ms, any other with "ok".
void AnswerOkOrSlowly(const Pairs& params, std::string_view /*body*/, Answer& answer) {
  for (const auto& [name, value] : params) {
    if (name == "SLOW") std::this_thread::sleep_for(std::chrono::milliseconds(800));
  }
  answer.Output("ok");
}

// Answers with the answering process's number, after a few milliseconds of
// work, so that a sibling on the same listener has its chance.
void AnswerPid(const Pairs& /*params*/, std::string_view /*body*/, Answer& answer) {
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  answer.Output(std::to_string(getpid()));
}

// The loop as the program runs it, `before` done first in the child.
int ServeInChild(const std::function<void()>& before, const Serve& serve = &AnswerOk,
                 const Limits& limits = Limits()) {
  platform::PrepareListener();
  before();
  std::string error;
  bool ended_well = ServeConnections(serve, error, limits);
  faults::Reset();
  return ended_well ? 0 : 3;
}

// Whether bytes (or the end) come on `fd` within `ms`.
bool Readable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) == 1;
}

// The answer that comes on `fd`, each read within `ms`, and the connection
// closed: its standard output, or "(none)" when no whole answer came.
std::string AnswerOn(int fd, int ms) {
  std::string bytes;
  testkit::FastCgiAnswer answer;
  char chunk[4096];
  while (!answer.ended && Readable(fd, ms)) {
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
    testkit::ReadFastCgiAnswer(bytes, answer);
  }
  close(fd);
  return answer.ended ? answer.out : "(none)";
}

// One request on a connection of its own; its answer's standard output, or
// "(none)" when no whole answer came within 10 s.
std::string Ask(testkit::FastCgiProcess& process) {
  int fd = process.Connect();
  std::string request = FastCgiRequest(1, {{"A", "1"}});
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  return AnswerOn(fd, 10000);
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
  // Newer connections closed none of the idle ones: they are within their
  // idle wait.
  for (int fd : idle) EXPECT_FALSE(Readable(fd, 0));
  for (int fd : idle) close(fd);
  close(slow);
  close(stalled);
  EXPECT_EQ(process.Terminate(), 0);
}

// Stopped while forty connections each send a whole request (as a web
// server that opens a connection per request does), then let go: every one
// is answered.
TEST_F(Connections, ABurstQueuedWhileTheProcessCouldNotRunIsAnsweredWhole) {
  testkit::FastCgiProcess process([] { return ServeInChild([] {}); }, Socket());
  EXPECT_EQ(Ask(process), "ok");
  ASSERT_EQ(kill(process.pid(), SIGSTOP), 0);
  std::vector<int> queued;
  std::string request = FastCgiRequest(1, {{"A", "1"}});
  for (int i = 0; i < 40; ++i) {
    queued.push_back(process.Connect());
    ASSERT_EQ(send(queued.back(), request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
  }
  ASSERT_EQ(kill(process.pid(), SIGCONT), 0);
  for (std::size_t i = 0; i < queued.size(); ++i) {
    EXPECT_EQ(AnswerOn(queued[i], 10000), "ok") << "connection " << i;
  }
  EXPECT_EQ(process.Terminate(), 0);
}

// An idle connection is closed once it has been silent for its idle wait,
// not before; one whose request came while the process was at work on
// another is answered, though its wait ran out meanwhile.
TEST_F(Connections, AnIdleConnectionGoesOnlyAfterItsSilenceAndNeverWithARequestWaiting) {
  Limits limits;
  limits.wait_idle_ms = 300;
  testkit::FastCgiProcess process(
      [&limits] { return ServeInChild([] {}, &AnswerOkOrSlowly, limits); }, Socket());
  int silent = process.Connect();
  int late = process.Connect();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(Readable(silent, 0)) << "closed before its wait ran out";
  // A request that keeps the process at work for 800 ms; meanwhile `late`
  // sends its request, and its idle wait runs out before it is read.
  int busy = process.Connect();
  std::string slow = FastCgiRequest(1, {{"SLOW", "1"}});
  send(busy, slow.data(), slow.size(), MSG_NOSIGNAL);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string request = FastCgiRequest(1, {{"A", "1"}});
  send(late, request.data(), request.size(), MSG_NOSIGNAL);
  EXPECT_EQ(AnswerOn(busy, 5000), "ok") << "the slow request";
  EXPECT_EQ(AnswerOn(late, 5000), "ok") << "the waiting request";
  char byte = 0;
  EXPECT_TRUE(Readable(silent, 2000));
  EXPECT_EQ(recv(silent, &byte, 1, 0), 0) << "the silent connection closed";
  close(silent);
  EXPECT_EQ(process.Terminate(), 0);
}

// Two processes on one listener, as spawn-fcgi -F 2 or two service
// instances run them: under 64 clients at once, every request is answered
// and both processes answer some.
TEST_F(Connections, ProcessesSharingAListenerShareItsConnections) {
  testkit::FastCgiProcess process(
      [] {
        if (fork() == 0) {
          prctl(PR_SET_PDEATHSIG, SIGTERM);
          _exit(ServeInChild([] {}, &AnswerPid));
        }
        return ServeInChild([] {}, &AnswerPid);
      },
      Socket());
  std::vector<std::string> answers(64 * 5);
  std::vector<std::thread> clients;
  for (int c = 0; c < 64; ++c) {
    clients.emplace_back([&, c] {
      for (int i = 0; i < 5; ++i) answers[static_cast<std::size_t>(c * 5 + i)] = Ask(process);
    });
  }
  for (std::thread& t : clients) t.join();
  std::set<std::string> answered_by(answers.begin(), answers.end());
  EXPECT_EQ(answered_by.count("(none)"), 0u) << "a request went unanswered";
  EXPECT_EQ(answered_by.size(), 2u) << "both processes answered";
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
