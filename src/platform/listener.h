// The persistent mode's channel to the web server. A FastCGI application is
// handed it as its standard input: on POSIX systems a listening socket (as
// spawn-fcgi, lighttpd, Apache's mod_fcgid and a systemd socket unit hand it
// over), on Windows the named pipe that IIS creates for it (standard output
// and standard error are then no handles at all). Requests arrive on
// connections accepted from it: from a socket, many may be open at once and
// are waited on together; a pipe holds one at a time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Whether standard input is such a listener: then the program serves
// FastCGI; otherwise it is a CGI program.
bool StandardInputIsListener();

// Gets the process ready to serve from the listener. A request to end (POSIX:
// SIGTERM, SIGHUP, SIGINT or SIGUSR1; Windows: the event IIS names in
// _FCGI_SHUTDOWN_EVENT_) is then only noted; it ends a wait for the web
// server, never the work of a request. A connection the web server drops,
// or a closed error stream, makes a write fail, no signal.
void PrepareListener();

// Whether many connections can be open at once (a listening socket): then
// they are waited on together with WaitForAny and taken with
// TakeConnection. Otherwise (a pipe) AcceptConnection waits for the one.
bool ListenerTakesManyConnections();

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
  // All of `count` pieces, in their order, within `timeout_ms` for all of
  // them.
  IoResult Write(const std::string_view* pieces, std::size_t count, int timeout_ms);
  // Hands what was written to the web server and ends the connection.
  void Close();
  bool IsOpen() const { return handle_ != -1; }

 private:
  friend bool AcceptConnection(Connection& connection, std::string& error);
  friend IoResult TakeConnection(Connection& connection, std::string& error);
  friend IoResult WaitForAny(const std::vector<const Connection*>& connections,
                             std::vector<bool>& ready, bool& listener_ready, int timeout_ms,
                             bool take_new, bool ending);
  std::intptr_t handle_ = -1;
  // A write failed or ran out of time: nothing is handed over at the end
  // (Windows; a socket has nothing to hand over).
  [[maybe_unused]] bool failed_ = false;
};

// Waits for the web server's next connection. False when the process is
// asked to end meanwhile (`error` empty), or when the listener fails
// (`error` says why).
bool AcceptConnection(Connection& connection, std::string& error);

// Where many connections are open at once: takes a connection that waits,
// without waiting. kDone with `connection` open; kTimedOut when none is
// waiting (or what came was a connection that failed on its way, or the
// system is short of memory for the moment: taken again later); kBroken
// when the listener itself is gone, `error` saying why.
IoResult TakeConnection(Connection& connection, std::string& error);

// Where many connections are open at once: waits at most `timeout_ms`
// (below 0: as long as it takes) until one of `connections` has bytes or
// has ended (`ready[i]`) or, when `take_new`, the listener has a connection
// waiting (`listener_ready`); those not given a wait (null) are passed
// over. kDone, kTimedOut, or kShutdown when the process is asked to end
// meanwhile. Once it has been asked (`ending`), the listener is no longer
// waited on and the wait is for the requests under way alone.
IoResult WaitForAny(const std::vector<const Connection*>& connections, std::vector<bool>& ready,
                    bool& listener_ready, int timeout_ms, bool take_new, bool ending);

}  // namespace platform
