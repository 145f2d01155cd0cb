#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/listener.h"

namespace platform {
namespace {

volatile sig_atomic_t g_shutdown = 0;
// The signal mask while waiting for the web server: SIGTERM let through.
sigset_t g_waiting_mask;

void OnTerminate(int /*signal*/) { g_shutdown = 1; }

// Waits for `events` on `fd`, at most `timeout_ms` (below 0: as long as it
// takes): kDone once they came, else kTimedOut, kShutdown or kBroken (the
// wait itself failed). SIGTERM, blocked at every other moment, is let
// through only here and only when `interruptible`: a request at work never
// sees it.
IoResult WaitFor(int fd, short events, int timeout_ms, bool interruptible) {
  pollfd target{fd, events, 0};
  timespec limit{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1000000L};
  for (;;) {
    if (interruptible && g_shutdown != 0) return IoResult::kShutdown;
    int n = ppoll(&target, 1, timeout_ms < 0 ? nullptr : &limit,
                  interruptible ? &g_waiting_mask : nullptr);
    if (n > 0) return IoResult::kDone;
    if (n == 0) return IoResult::kTimedOut;
    if (errno != EINTR) return IoResult::kBroken;
  }
}

}  // namespace

bool StandardInputIsListener() {
  int accepting = 0;
  socklen_t length = sizeof accepting;
  return getsockopt(STDIN_FILENO, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 &&
         accepting != 0;
}

void PrepareListener() {
  struct sigaction on_terminate {};
  on_terminate.sa_handler = &OnTerminate;
  sigemptyset(&on_terminate.sa_mask);
  sigaction(SIGTERM, &on_terminate, nullptr);
  sigset_t terminate;
  sigemptyset(&terminate);
  sigaddset(&terminate, SIGTERM);
  sigprocmask(SIG_BLOCK, &terminate, &g_waiting_mask);
  sigdelset(&g_waiting_mask, SIGTERM);
  // Several processes may wait on the one listener: whoever is not first to
  // a connection must not be left blocked in accept().
  int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (flags >= 0) fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
}

bool ShutdownRequested() {
  if (g_shutdown != 0) return true;
  // Asked while at work: the signal waits, blocked, until it is looked for.
  sigset_t pending;
  return sigpending(&pending) == 0 && sigismember(&pending, SIGTERM) == 1;
}

bool AcceptConnection(Connection& connection, std::string& error) {
  connection.Close();
  error.clear();
  for (;;) {
    IoResult waited = WaitFor(STDIN_FILENO, POLLIN, -1, true);
    if (waited == IoResult::kShutdown) return false;
    if (waited == IoResult::kBroken) {
      error = std::strerror(errno);
      return false;
    }
    int fd = accept4(STDIN_FILENO, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      connection.handle_ = fd;
      return true;
    }
    switch (errno) {
      case EAGAIN:  // another process took it
#if EWOULDBLOCK != EAGAIN
      case EWOULDBLOCK:
#endif
      case EINTR:
      case ECONNABORTED:
        continue;
      case EMFILE:
      case ENFILE:
      case ENOBUFS:
      case ENOMEM:
        // Short of resources for the moment: the connection waits.
        WaitFor(-1, 0, 100, true);
        continue;
      default:
        error = std::strerror(errno);
        return false;
    }
  }
}

Connection::~Connection() { Close(); }

IoResult Connection::Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                          int timeout_ms) {
  got = 0;
  int fd = static_cast<int>(handle_);
  for (;;) {
    ssize_t n = recv(fd, buffer, size, 0);
    if (n > 0) {
      got = static_cast<std::size_t>(n);
      return IoResult::kDone;
    }
    if (n == 0) return IoResult::kEnd;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::kBroken;
    IoResult waited = WaitFor(fd, POLLIN, timeout_ms, idle);
    if (waited != IoResult::kDone) return waited;
  }
}

IoResult Connection::Write(const std::string_view* pieces, std::size_t count, int timeout_ms) {
  int fd = static_cast<int>(handle_);
  std::vector<iovec> parts;
  parts.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (!pieces[i].empty()) {
      parts.push_back(iovec{const_cast<char*>(pieces[i].data()), pieces[i].size()});
    }
  }
  std::size_t next = 0;
  while (next < parts.size()) {
    msghdr message{};
    message.msg_iov = parts.data() + next;
    message.msg_iovlen = std::min<std::size_t>(parts.size() - next, IOV_MAX);
    ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::kBroken;
      IoResult waited = WaitFor(fd, POLLOUT, timeout_ms, false);
      if (waited != IoResult::kDone) return waited;
      continue;
    }
    auto done = static_cast<std::size_t>(n);
    while (next < parts.size() && done >= parts[next].iov_len) done -= parts[next++].iov_len;
    if (next < parts.size()) {
      parts[next].iov_base = static_cast<char*>(parts[next].iov_base) + done;
      parts[next].iov_len -= done;
    }
  }
  return IoResult::kDone;
}

void Connection::Close() {
  if (handle_ == -1) return;
  int fd = static_cast<int>(handle_);
  // What the web server sent and nobody read would make the system answer
  // the close with a reset, which may throw away the answer still on its
  // way: the rest is read first, then the connection is ended in order.
  shutdown(fd, SHUT_WR);
  char rest[4096];
  for (int i = 0; i < 256 && recv(fd, rest, sizeof rest, 0) > 0; ++i) {
  }
  close(fd);
  handle_ = -1;
}

}  // namespace platform
