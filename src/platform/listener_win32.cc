#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/listener.h"

namespace platform {
namespace {

HANDLE g_pipe = INVALID_HANDLE_VALUE;  // standard input: the pipe IIS made
HANDLE g_shutdown_event = nullptr;     // set by IIS when the process is to end
HANDLE g_io_done = nullptr;            // the end of each operation on the pipe
bool g_shutdown = false;

bool IsNoHandle(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }

// Waits for an operation begun on the pipe with `ov` to end (at most
// `timeout_ms`, INFINITE below 0), or, when `interruptible`, for the
// shutdown event; an operation that does not end is cancelled.
IoResult Finish(OVERLAPPED& ov, DWORD& moved, bool interruptible, int timeout_ms) {
  HANDLE waits[2] = {ov.hEvent, g_shutdown_event};
  DWORD count = interruptible && g_shutdown_event != nullptr ? 2 : 1;
  DWORD woke = WaitForMultipleObjects(count, waits, FALSE,
                                      timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  if (woke == WAIT_OBJECT_0) {
    if (GetOverlappedResult(g_pipe, &ov, &moved, FALSE)) return IoResult::kDone;
    DWORD error = GetLastError();
    return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED ? IoResult::kEnd
                                                                           : IoResult::kBroken;
  }
  CancelIoEx(g_pipe, &ov);
  GetOverlappedResult(g_pipe, &ov, &moved, TRUE);
  if (woke == WAIT_OBJECT_0 + 1) {
    g_shutdown = true;
    return IoResult::kShutdown;
  }
  return woke == WAIT_TIMEOUT ? IoResult::kTimedOut : IoResult::kBroken;
}

// What a call that began an operation on the pipe answered: done at once,
// under way (then waited for), or failed.
IoResult Started(BOOL ok, OVERLAPPED& ov, DWORD& moved, bool interruptible, int timeout_ms) {
  if (ok) return IoResult::kDone;  // a handle without overlapped operations ends here
  DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) return Finish(ov, moved, interruptible, timeout_ms);
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA
             ? IoResult::kEnd
             : IoResult::kBroken;
}

OVERLAPPED NewOperation() {
  OVERLAPPED ov{};
  ov.hEvent = g_io_done;
  ResetEvent(g_io_done);
  return ov;
}

}  // namespace

bool StandardInputIsListener() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (IsNoHandle(in) || GetFileType(in) != FILE_TYPE_PIPE) return false;
  DWORD flags = 0;
  if (!GetNamedPipeInfo(in, &flags, nullptr, nullptr, nullptr) || (flags & PIPE_SERVER_END) == 0) {
    return false;
  }
  // A CGI program run by IIS reads a pipe too, but writes its answer to
  // standard output; a FastCGI application gets no output handles at all.
  return IsNoHandle(GetStdHandle(STD_OUTPUT_HANDLE)) && IsNoHandle(GetStdHandle(STD_ERROR_HANDLE));
}

void PrepareListener() {
  g_pipe = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = PIPE_READMODE_BYTE | PIPE_WAIT;
  SetNamedPipeHandleState(g_pipe, &mode, nullptr, nullptr);
  g_io_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // IIS names, as a number, an event handle that this process inherits.
  if (const char* event = std::getenv("_FCGI_SHUTDOWN_EVENT_")) {
    g_shutdown_event =
        reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(event, nullptr, 10)));
  }
}

// The pipe IIS hands over holds one connection at a time.
bool ListenerTakesManyConnections() { return false; }

IoResult TakeConnection(Connection& /*connection*/, std::string& error) {
  error = "a pipe holds one connection at a time";
  return IoResult::kBroken;
}

IoResult WaitForAny(const std::vector<const Connection*>& /*connections*/,
                    std::vector<bool>& /*ready*/, bool& /*listener_ready*/, int /*timeout_ms*/,
                    bool /*ending*/) {
  return IoResult::kBroken;
}

bool ShutdownRequested() {
  if (!g_shutdown && g_shutdown_event != nullptr &&
      WaitForSingleObject(g_shutdown_event, 0) == WAIT_OBJECT_0) {
    g_shutdown = true;
  }
  return g_shutdown;
}

bool AcceptConnection(Connection& connection, std::string& error) {
  connection.Close();
  error.clear();
  for (;;) {
    if (ShutdownRequested()) return false;
    OVERLAPPED ov = NewOperation();
    DWORD moved = 0;
    BOOL ok = ConnectNamedPipe(g_pipe, &ov);
    if (!ok && GetLastError() == ERROR_PIPE_CONNECTED) ok = TRUE;  // came before we asked
    switch (Started(ok, ov, moved, true, -1)) {
      case IoResult::kDone:
        connection.handle_ = reinterpret_cast<std::intptr_t>(g_pipe);
        return true;
      case IoResult::kShutdown:
        return false;
      case IoResult::kEnd:  // a client that came and went: ready the pipe again
        DisconnectNamedPipe(g_pipe);
        continue;
      default:
        error = SystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
  }
}

Connection::~Connection() { Close(); }

IoResult Connection::Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                          int timeout_ms) {
  got = 0;
  OVERLAPPED ov = NewOperation();
  DWORD moved = 0;
  DWORD want = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
  IoResult result =
      Started(ReadFile(g_pipe, buffer, want, &moved, &ov), ov, moved, idle, timeout_ms);
  if (result == IoResult::kDone) {
    if (moved == 0) return IoResult::kEnd;
    got = moved;
  }
  return result;
}

IoResult Connection::Write(const std::string_view* pieces, std::size_t count, int timeout_ms) {
  std::string whole;
  for (std::size_t i = 0; i < count; ++i) whole.append(pieces[i]);
  std::size_t done = 0;
  while (done < whole.size()) {
    OVERLAPPED ov = NewOperation();
    DWORD moved = 0;
    DWORD want =
        whole.size() - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(whole.size() - done);
    IoResult result = Started(WriteFile(g_pipe, whole.data() + done, want, &moved, &ov), ov, moved,
                              false, timeout_ms);
    if (result != IoResult::kDone) return result == IoResult::kEnd ? IoResult::kBroken : result;
    if (moved == 0) return IoResult::kBroken;
    done += moved;
  }
  return IoResult::kDone;
}

void Connection::Close() {
  if (handle_ == -1) return;
  // The pipe stays; the client gets what was written before it is let go.
  FlushFileBuffers(g_pipe);
  DisconnectNamedPipe(g_pipe);
  handle_ = -1;
}

}  // namespace platform
