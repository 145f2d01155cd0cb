#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/listener.h"
#include "platform/messages.h"
#include "platform/posix_calls.h"

namespace platform {
namespace {

volatile sig_atomic_t g_shutdown = 0;
// The signals that ask the process to end: blocked at work, let through
// only while waiting for the web server.
constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGUSR1};
// The signal mask while waiting for the web server.
sigset_t g_waiting_mask;
// When the last line about a shortage of memory was written.
std::chrono::steady_clock::time_point g_shortage_told{};
bool g_shortage_ever_told = false;

void OnEndSignal(int /*signal*/) { g_shutdown = 1; }

// ppoll over `targets`, at most `timeout_ms` (below 0: as long as it
// takes): kDone once something came, else kTimedOut, kShutdown or kBroken
// (the wait itself failed). The signals that end the process, blocked at
// every other moment, are let through only here and only when
// `interruptible`: a request at work never sees them.
IoResult WaitOn(pollfd* targets, std::size_t count, int timeout_ms, bool interruptible) {
  timespec limit{timeout_ms / 1000, static_cast<long>(timeout_ms % 1000) * 1000000L};
  for (;;) {
    if (interruptible && g_shutdown != 0) return IoResult::kShutdown;
    int n = ppoll(targets, count, timeout_ms < 0 ? nullptr : &limit,
                  interruptible ? &g_waiting_mask : nullptr);
    if (n > 0) return IoResult::kDone;
    if (n == 0) return IoResult::kTimedOut;
    if (errno != EINTR) return IoResult::kBroken;
  }
}

// What is left of the time until `deadline`, in whole milliseconds (0 once
// it has passed: a wait then only looks).
int MsLeft(std::chrono::steady_clock::time_point deadline) {
  auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

IoResult WaitFor(int fd, short events, int timeout_ms, bool interruptible) {
  pollfd target{fd, events, 0};
  return WaitOn(&target, fd < 0 ? 0 : 1, timeout_ms, interruptible);
}

// Connections cannot be taken for the moment (the system is short of memory
// or descriptors, or answers what it never should): a pause, and a line for
// the operator at most once a minute.
void PauseTaking(int error) {
  auto now = std::chrono::steady_clock::now();
  if (!g_shortage_ever_told || now - g_shortage_told >= std::chrono::minutes(1)) {
    g_shortage_ever_told = true;
    g_shortage_told = now;
    OperatorMessage("Connections from the web server wait: " + std::string(std::strerror(error)));
  }
  WaitFor(-1, 0, 100, true);
}

}  // namespace

bool StandardInputIsListener() {
  int accepting = 0;
  socklen_t length = sizeof accepting;
  return getsockopt(STDIN_FILENO, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 &&
         accepting != 0;
}

void PrepareListener() {
  // A write to a connection or an error stream that is gone fails; it never
  // ends the process.
  signal(SIGPIPE, SIG_IGN);
  struct sigaction on_end {};
  on_end.sa_handler = &OnEndSignal;
  sigemptyset(&on_end.sa_mask);
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : kEndSignals) {
    sigaction(s, &on_end, nullptr);
    sigaddset(&ending, s);
  }
  sigprocmask(SIG_BLOCK, &ending, &g_waiting_mask);
  for (int s : kEndSignals) sigdelset(&g_waiting_mask, s);
  // Several processes may wait on the one listener: whoever is not first to
  // a connection must not be left blocked in accept().
  int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (flags >= 0) fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
}

bool ListenerTakesManyConnections() { return true; }

bool ShutdownRequested() {
  if (g_shutdown != 0) return true;
  // Asked while at work: the signal waits, blocked, until it is looked for.
  // A wait lets it through; a process that never waits (requests keep
  // coming) looks for it every 100 ms, not at every request.
  static std::chrono::steady_clock::time_point next_look{};
  auto now = std::chrono::steady_clock::now();
  if (now < next_look) return false;
  next_look = now + std::chrono::milliseconds(100);
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (int s : kEndSignals) {
    if (sigismember(&pending, s) == 1) return true;
  }
  return false;
}

IoResult TakeConnection(Connection& connection, std::string& error) {
  connection.Close();
  error.clear();
  for (;;) {
    int fd = sys::Accept4(STDIN_FILENO, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
      connection.handle_ = fd;
      return IoResult::kDone;
    }
    switch (errno) {
      // Interrupted, or a connection that failed on its way in (the network
      // errors that Linux hands to accept, a firewall's refusal): the next
      // one is taken as if it had never come.
      case EINTR:
      case ECONNABORTED:
      case ENETDOWN:
      case EPROTO:
      case ENOPROTOOPT:
      case EHOSTDOWN:
#ifdef ENONET
      case ENONET:
#endif
      case EHOSTUNREACH:
      case EOPNOTSUPP:
      case ENETUNREACH:
      case EPERM:
        continue;
      case EBADF:
      case ENOTSOCK:
      case EINVAL:
        // The listener itself is gone: no more connections will come.
        error = std::strerror(errno);
        return IoResult::kBroken;
      case EAGAIN:  // none waits, or another process took it
#if EWOULDBLOCK != EAGAIN
      case EWOULDBLOCK:
#endif
        return IoResult::kTimedOut;
      default:  // short of memory or descriptors (ENOBUFS, ENOMEM, EMFILE, ENFILE)
        PauseTaking(errno);
        return IoResult::kTimedOut;
    }
  }
}

bool AcceptConnection(Connection& connection, std::string& error) {
  for (;;) {
    IoResult waited = WaitFor(STDIN_FILENO, POLLIN, -1, true);
    if (waited == IoResult::kShutdown) return false;
    if (waited == IoResult::kBroken) {
      error = std::strerror(errno);
      return false;
    }
    IoResult taken = TakeConnection(connection, error);
    if (taken == IoResult::kDone) return true;
    if (taken == IoResult::kBroken) return false;
  }
}

IoResult WaitForAny(const std::vector<const Connection*>& connections, std::vector<bool>& ready,
                    bool& listener_ready, int timeout_ms, bool take_new, bool ending) {
  std::vector<pollfd> targets;
  targets.reserve(connections.size() + 1);
  targets.push_back(pollfd{ending || !take_new ? -1 : STDIN_FILENO, POLLIN, 0});
  for (const Connection* c : connections) {
    targets.push_back(pollfd{c != nullptr ? static_cast<int>(c->handle_) : -1, POLLIN, 0});
  }
  IoResult waited = WaitOn(targets.data(), targets.size(), timeout_ms, !ending);
  listener_ready = (targets[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0;
  ready.assign(connections.size(), false);
  for (std::size_t i = 0; i < connections.size(); ++i) ready[i] = targets[i + 1].revents != 0;
  return waited;
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
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::size_t next = 0;
  while (next < parts.size()) {
    msghdr message{};
    message.msg_iov = parts.data() + next;
    message.msg_iovlen = std::min<std::size_t>(parts.size() - next, IOV_MAX);
    ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::kBroken;
      // The bound is the whole answer's: a peer that takes a little now
      // and then cannot stretch it.
      int left = MsLeft(deadline);
      if (left == 0) return IoResult::kTimedOut;
      IoResult waited = WaitFor(fd, POLLOUT, left, false);
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
