// The persistent mode's channel to the web server. A FastCGI application is
// handed it as its standard input: on POSIX systems a listening socket (as
// spawn-fcgi, lighttpd, Apache's mod_fcgid and a systemd socket unit hand it
// over), on Windows the named pipe that IIS creates for it (standard output
// and standard error are then no handles at all). Requests arrive on
// connections accepted from it, one connection at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Whether standard input is such a listener: then the program serves
// FastCGI; otherwise it is a CGI program.
bool StandardInputIsListener();

// Gets the process ready to serve from the listener. A request to end (POSIX:
// SIGTERM; Windows: the event IIS names in _FCGI_SHUTDOWN_EVENT_) is then
// only noted; it ends a wait for the web server, never the work of a
// request. A connection the web server drops makes a write fail, no signal.
void PrepareListener();

// Whether the process has been asked to end.
bool ShutdownRequested();

enum class IoResult {
  kDone,      // bytes moved
  kEnd,       // the web server closed the connection
  kBroken,    // the connection failed
  kTimedOut,  // nothing came in the time given
  kShutdown,  // the process was asked to end while it waited
};

// One connection from the web server, closed by the destructor.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Up to `size` bytes into `buffer`; `got` says how many. Waits at most
  // `timeout_ms` for the first of them; while `idle` (no request under way)
  // a request to end the process ends the wait too.
  IoResult Read(char* buffer, std::size_t size, std::size_t& got, bool idle, int timeout_ms);
  // All of `count` pieces, in their order, within `timeout_ms` of each step.
  IoResult Write(const std::string_view* pieces, std::size_t count, int timeout_ms);
  // Hands what was written to the web server and ends the connection.
  void Close();
  bool IsOpen() const { return handle_ != -1; }

 private:
  friend bool AcceptConnection(Connection& connection, std::string& error);
  std::intptr_t handle_ = -1;
};

// Waits for the web server's next connection. False when the process is
// asked to end meanwhile (`error` empty), or when the listener fails
// (`error` says why).
bool AcceptConnection(Connection& connection, std::string& error);

}  // namespace platform
