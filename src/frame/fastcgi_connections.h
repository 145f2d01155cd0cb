// The persistent process's loop where the listener hands over many
// connections at once: every open connection and the listener are waited on
// together, each connection's records gathered as they come, and whole
// requests answered one at a time in the order they became whole. No peer
// holds the process: a request must be whole within one bound from its
// first byte, and an idle connection is closed once it has been silent for
// its idle wait (never for newer connections coming, and never while bytes
// wait unread on it). Connections are taken one at a time, only while the
// process is free to read them and holds fewer than it may: the rest wait
// in the listener's queue, for this process or a sibling on the same
// listener.
#pragma once
#include <string>

#include "frame/fastcgi_session.h"
#include "platform/listener.h"

namespace frame::fastcgi {

// A connection from the web server as the session's stream.
class ConnectionStream final : public Stream {
 public:
  explicit ConnectionStream(platform::Connection& connection) : connection_(connection) {}
  platform::IoResult Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                          int timeout_ms) override {
    return connection_.Read(buffer, size, got, idle, timeout_ms);
  }
  platform::IoResult Write(const std::string_view* pieces, std::size_t count,
                           int timeout_ms) override {
    return connection_.Write(pieces, count, timeout_ms);
  }

 private:
  platform::Connection& connection_;
};

// Connections held open at most; past it no connection is taken until one
// closes. Web servers open a connection for each request or keep a few open
// per worker; this leaves room for many of those, far below the
// descriptors a process has.
constexpr std::size_t kMaxOpenConnections = 128;

// Serves until the process is asked to end (true) or the listener is gone
// (false, `error` saying why).
bool ServeConnections(const Serve& serve, std::string& error, const Limits& limits = Limits());

}  // namespace frame::fastcgi
