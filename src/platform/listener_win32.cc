#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/listener.h"

namespace platform {
namespace {

HANDLE g_pipe = INVALID_HANDLE_VALUE;  // standard input: the pipe IIS made
HANDLE g_shutdown_event = nullptr;     // set by IIS when the process is to end
HANDLE g_io_done = nullptr;            // the end of each operation on the pipe
bool g_shutdown = false;
// The pipe was opened without overlapped operations: every call on it then
// blocks until it is done, so waits are bounded another way.
bool g_synchronous = false;

// What is written is handed over at the end of a connection within this
// time; a reader that takes no more does not hold the process longer.
constexpr int kHandOverMs = 10000;
// How often a synchronous pipe is looked at for bytes.
constexpr DWORD kPollStepMs = 5;

bool IsNoHandle(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }

IoResult EndOrBroken(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA
             ? IoResult::kEnd
             : IoResult::kBroken;
}

// Whether `h` was opened for synchronous operations only.
bool OpenedSynchronous(HANDLE h) {
  // FILE_MODE_INFORMATION, class 16 of NtQueryInformationFile.
  struct ModeInformation {
    ULONG mode;
  } info{};
  struct IoStatus {
    void* status;
    ULONG_PTR information;
  } io{};
  using Query = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto query = ntdll != nullptr ? reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
                                      GetProcAddress(ntdll, "NtQueryInformationFile")))
                                : nullptr;
  if (query == nullptr || query(h, &io, &info, sizeof info, 16) < 0) return false;
  constexpr ULONG kSynchronousIoAlert = 0x10, kSynchronousIoNonAlert = 0x20;
  return (info.mode & (kSynchronousIoAlert | kSynchronousIoNonAlert)) != 0;
}

// A call that blocks, run on a thread of its own so that the wait for it
// has a bound. The call owns what it needs (captured by value), and what it
// answers stays with the thread's share, which outlives a wait that gave
// up.
struct Blocking {
  std::function<BOOL(DWORD& moved)> call;
  BOOL ok = FALSE;
  DWORD error = 0;
  DWORD moved = 0;
};

DWORD WINAPI RunBlocking(void* share) {
  std::unique_ptr<std::shared_ptr<Blocking>> own(static_cast<std::shared_ptr<Blocking>*>(share));
  Blocking& b = **own;
  b.ok = b.call(b.moved);
  b.error = b.ok ? 0 : GetLastError();
  return 0;
}

// Runs `call` and waits at most `timeout_ms` (INFINITE below 0) for it, or,
// when `interruptible`, for the shutdown event: kDone when it returned
// (its answer in `ok`, `error` and `moved`); otherwise it is cancelled, the
// pipe disconnected when cancelling does not end it, and kTimedOut or
// kShutdown.
IoResult Bounded(std::function<BOOL(DWORD& moved)> call, int timeout_ms, bool interruptible,
                 BOOL& ok, DWORD& error, DWORD& moved) {
  auto b = std::make_shared<Blocking>();
  b->call = std::move(call);
  auto* share = new std::shared_ptr<Blocking>(b);
  HANDLE thread = CreateThread(nullptr, 0, &RunBlocking, share, 0, nullptr);
  if (thread == nullptr) {
    delete share;
    ok = b->call(moved);
    error = ok ? 0 : GetLastError();
    return IoResult::kDone;
  }
  HANDLE waits[2] = {thread, g_shutdown_event};
  DWORD count = interruptible && g_shutdown_event != nullptr ? 2 : 1;
  DWORD woke = WaitForMultipleObjects(count, waits, FALSE,
                                      timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms));
  IoResult result = IoResult::kDone;
  if (woke != WAIT_OBJECT_0) {
    result = woke == WAIT_OBJECT_0 + 1 ? IoResult::kShutdown : IoResult::kTimedOut;
    if (result == IoResult::kShutdown) g_shutdown = true;
    CancelSynchronousIo(thread);
    if (WaitForSingleObject(thread, 1000) != WAIT_OBJECT_0) {
      DisconnectNamedPipe(g_pipe);
      WaitForSingleObject(thread, 1000);
    }
  }
  CloseHandle(thread);
  ok = b->ok;
  error = b->error;
  moved = b->moved;
  return result;
}

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
  if (ok) return IoResult::kDone;
  DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) return Finish(ov, moved, interruptible, timeout_ms);
  return EndOrBroken(error);
}

OVERLAPPED NewOperation() {
  OVERLAPPED ov{};
  ov.hEvent = g_io_done;
  ResetEvent(g_io_done);
  return ov;
}

// A synchronous pipe read without blocking: the bytes it holds are looked
// at first, and only those are read. Between looks the wait is for the
// shutdown event (when `interruptible`), up to `timeout_ms` in all.
IoResult ReadSynchronous(char* buffer, DWORD want, DWORD& moved, bool interruptible,
                         int timeout_ms) {
  ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(g_pipe, nullptr, 0, nullptr, &available, nullptr)) {
      return EndOrBroken(GetLastError());
    }
    if (available > 0) {
      if (!ReadFile(g_pipe, buffer, available < want ? available : want, &moved, nullptr)) {
        return EndOrBroken(GetLastError());
      }
      return IoResult::kDone;
    }
    if (timeout_ms >= 0 && GetTickCount64() >= until) return IoResult::kTimedOut;
    if (interruptible && g_shutdown_event != nullptr) {
      if (WaitForSingleObject(g_shutdown_event, kPollStepMs) == WAIT_OBJECT_0) {
        g_shutdown = true;
        return IoResult::kShutdown;
      }
    } else {
      Sleep(kPollStepMs);
    }
  }
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
  g_synchronous = OpenedSynchronous(g_pipe);
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
                    bool /*take_new*/, bool /*ending*/) {
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
    IoResult result;
    DWORD failure = 0;
    if (g_synchronous) {
      BOOL ok = FALSE;
      DWORD moved = 0;
      result = Bounded([](DWORD&) { return ConnectNamedPipe(g_pipe, nullptr); }, -1, true, ok,
                       failure, moved);
      if (result == IoResult::kDone && !ok) {
        result = failure == ERROR_PIPE_CONNECTED ? IoResult::kDone : EndOrBroken(failure);
      }
    } else {
      OVERLAPPED ov = NewOperation();
      DWORD moved = 0;
      BOOL ok = ConnectNamedPipe(g_pipe, &ov);
      if (!ok && GetLastError() == ERROR_PIPE_CONNECTED) ok = TRUE;  // came before we asked
      result = Started(ok, ov, moved, true, -1);
      failure = GetLastError();
    }
    switch (result) {
      case IoResult::kDone:
        connection.handle_ = reinterpret_cast<std::intptr_t>(g_pipe);
        connection.failed_ = false;
        return true;
      case IoResult::kShutdown:
        return false;
      case IoResult::kEnd:  // a client that came and went: ready the pipe again
        DisconnectNamedPipe(g_pipe);
        continue;
      default:
        error = SystemErrorText(static_cast<int>(failure));
        return false;
    }
  }
}

Connection::~Connection() { Close(); }

IoResult Connection::Read(char* buffer, std::size_t size, std::size_t& got, bool idle,
                          int timeout_ms) {
  got = 0;
  DWORD moved = 0;
  DWORD want = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
  IoResult result;
  if (g_synchronous) {
    result = ReadSynchronous(buffer, want, moved, idle, timeout_ms);
  } else {
    OVERLAPPED ov = NewOperation();
    result = Started(ReadFile(g_pipe, buffer, want, &moved, &ov), ov, moved, idle, timeout_ms);
  }
  if (result == IoResult::kDone) {
    if (moved == 0) return IoResult::kEnd;
    got = moved;
  }
  return result;
}

IoResult Connection::Write(const std::string_view* pieces, std::size_t count, int timeout_ms) {
  std::string whole;
  for (std::size_t i = 0; i < count; ++i) whole.append(pieces[i]);
  // The bound is the whole answer's, however many steps it takes.
  const bool bounded = timeout_ms >= 0;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(bounded ? timeout_ms : 0);
  std::size_t done = 0;
  while (done < whole.size()) {
    const ULONGLONG now = GetTickCount64();
    if (bounded && now >= deadline) {
      failed_ = true;
      return IoResult::kTimedOut;
    }
    if (bounded) timeout_ms = static_cast<int>(deadline - now);
    DWORD moved = 0;
    DWORD want =
        whole.size() - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(whole.size() - done);
    IoResult result;
    if (g_synchronous) {
      BOOL ok = FALSE;
      DWORD failure = 0;
      auto part = std::make_shared<std::string>(whole, done, want);
      result = Bounded(
          [part](DWORD& wrote) {
            return WriteFile(g_pipe, part->data(), static_cast<DWORD>(part->size()), &wrote,
                             nullptr);
          },
          timeout_ms, false, ok, failure, moved);
      if (result == IoResult::kDone && !ok) result = EndOrBroken(failure);
    } else {
      OVERLAPPED ov = NewOperation();
      result = Started(WriteFile(g_pipe, whole.data() + done, want, &moved, &ov), ov, moved, false,
                       timeout_ms);
    }
    if (result != IoResult::kDone || moved == 0) {
      failed_ = true;
      return result == IoResult::kEnd || result == IoResult::kDone ? IoResult::kBroken : result;
    }
    done += moved;
  }
  return IoResult::kDone;
}

void Connection::Close() {
  if (handle_ == -1) return;
  // The pipe stays. What was written is handed to the client before it is
  // let go, within a bound: a client that reads no more, or a write that
  // already failed, holds the process no longer.
  if (!failed_) {
    BOOL ok = FALSE;
    DWORD failure = 0, moved = 0;
    Bounded([](DWORD&) { return FlushFileBuffers(g_pipe); }, kHandOverMs, false, ok, failure,
            moved);
  }
  DisconnectNamedPipe(g_pipe);
  handle_ = -1;
  failed_ = false;
}

}  // namespace platform
