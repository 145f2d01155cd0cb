// The persistent process's loop where the listener hands over many
// connections at once: every open connection and the listener are waited on
// together, each connection's records gathered as they come, and whole
// requests answered one at a time in the order they became whole. No peer
// holds the process: a request must be whole within one bound from its
// first byte, an idle connection is closed after its idle wait, and idle
// connections beyond a few are closed oldest first.
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

// Idle connections kept open at most (the web servers open a connection
// for each request, or keep one or two open per worker).
constexpr std::size_t kMaxIdleConnections = 8;

// Serves until the process is asked to end (true) or the listener is gone
// (false, `error` saying why).
bool ServeConnections(const Serve& serve, std::string& error, const Limits& limits = Limits());

}  // namespace frame::fastcgi
