// iis_pipe_driver: drives a Windows FastCGI application the way IIS does. It
// makes a named pipe, starts the program with the pipe's server end as its
// standard input and no standard output or error (IIS gives none), names the
// pipe in _FCGI_X_PIPE_ and an event in _FCGI_SHUTDOWN_EVENT_, sends each
// request on a connection of its own, and at the end sets the event and
// waits for the program to end.
//
//   iis_pipe_driver [--synchronous] PROGRAM REQUESTS OUTPUT_PREFIX
//   iis_pipe_driver [--synchronous] --cases PROGRAM
//
// REQUESTS holds one request per line, its parameters as NAME=VALUE pairs
// separated by "|". The standard output of request n goes to
// OUTPUT_PREFIX.n, its standard error to OUTPUT_PREFIX.n.err. With --cases
// it runs what a server may do besides (a kept connection, a request body,
// the shutdown event during a request, a slow reader, a reader that reads
// nothing) and prints a line for each. --synchronous makes the pipe without
// overlapped operations. Exit status: the program's own (--cases: the
// number of cases that failed), or 90 and above when the driver could not
// do its part.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/fastcgi_client.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "iis_pipe_driver: %s (error %lu)\n", what.c_str(), GetLastError());
  return 91;
}

testkit::Params ParseParams(const std::string& line) {
  testkit::Params params;
  std::stringstream in(line);
  for (std::string pair; std::getline(in, pair, '|');) {
    std::size_t eq = pair.find('=');
    if (eq != std::string::npos) params[pair.substr(0, eq)] = pair.substr(eq + 1);
  }
  return params;
}

const testkit::Params kGet = {{"SERVER_PROTOCOL", "HTTP/1.1"},
                              {"REQUEST_METHOD", "GET"},
                              {"HTTP_HOST", "localhost"},
                              {"REMOTE_ADDR", "127.0.0.1"}};

// The program under a pipe of its own, as IIS starts it.
class Program {
 public:
  Program(const std::string& path, bool synchronous) {
    pipe_name_ = "\\\\.\\pipe\\enpanel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++started_);
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE pipe = CreateNamedPipeA(
        pipe_name_.c_str(), PIPE_ACCESS_DUPLEX | (synchronous ? 0 : FILE_FLAG_OVERLAPPED),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, &inherited);
    shutdown_ = CreateEventA(&inherited, TRUE, FALSE, nullptr);
    if (pipe == INVALID_HANDLE_VALUE || shutdown_ == nullptr) return;
    SetEnvironmentVariableA("_FCGI_X_PIPE_", pipe_name_.c_str());
    SetEnvironmentVariableA(
        "_FCGI_SHUTDOWN_EVENT_",
        std::to_string(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(shutdown_)))
            .c_str());
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = pipe;
    start.hStdOutput = INVALID_HANDLE_VALUE;
    start.hStdError = INVALID_HANDLE_VALUE;
    std::string command = "\"" + path + "\"";
    started_ok_ = CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &start, &child_) != 0;
    CloseHandle(pipe);  // the program holds the server end now
  }
  bool Started() const { return started_ok_; }

  // Connects as IIS does, waiting while the program is not yet listening.
  HANDLE Connect() const {
    for (int attempt = 0; attempt < 500; ++attempt) {
      HANDLE h = CreateFileA(pipe_name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) return h;
      if (GetLastError() == ERROR_PIPE_BUSY) WaitNamedPipeA(pipe_name_.c_str(), 100);
      Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
  }

  void AskToEnd() const { SetEvent(shutdown_); }
  bool Running() const { return WaitForSingleObject(child_.hProcess, 0) == WAIT_TIMEOUT; }
  // Its exit status once it ended within `ms`, else -1 (and it is ended).
  int WaitForEnd(DWORD ms) const {
    if (WaitForSingleObject(child_.hProcess, ms) != WAIT_OBJECT_0) {
      TerminateProcess(child_.hProcess, 1);
      return -1;
    }
    DWORD status = 0;
    GetExitCodeProcess(child_.hProcess, &status);
    return static_cast<int>(status);
  }

 private:
  static inline int started_ = 0;
  std::string pipe_name_;
  HANDLE shutdown_ = nullptr;
  PROCESS_INFORMATION child_{};
  bool started_ok_ = false;
};

bool Send(HANDLE client, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(client, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Reads one answer, `step` bytes at a time with `pause_ms` between reads.
testkit::FastCgiAnswer ReadAnswer(HANDLE client, std::string& received, DWORD step = 65536,
                                  DWORD pause_ms = 0) {
  testkit::FastCgiAnswer answer;
  if (testkit::ReadFastCgiAnswer(received, answer)) return answer;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(client, chunk, step, &got, nullptr) && got > 0) {
    received.append(chunk, got);
    if (testkit::ReadFastCgiAnswer(received, answer)) break;
    if (pause_ms > 0) Sleep(pause_ms);
  }
  return answer;
}

bool IsPage(const testkit::FastCgiAnswer& a) {
  return a.ended && a.out.size() > 7 && a.out.compare(a.out.size() - 7, 7, "</HTML>") == 0;
}

int RunRequests(const Program& program, const char* requests_path, const std::string& prefix) {
  std::ifstream requests(requests_path);
  int n = 0;
  for (std::string line; std::getline(requests, line);) {
    if (line.empty()) continue;
    ++n;
    HANDLE client = program.Connect();
    if (client == INVALID_HANDLE_VALUE) return Fail("cannot connect to the program");
    if (!Send(client, testkit::FastCgiRequest(1, ParseParams(line)))) {
      return Fail("cannot write request " + std::to_string(n));
    }
    std::string received;
    testkit::FastCgiAnswer answer = ReadAnswer(client, received);
    CloseHandle(client);
    if (!answer.ended) return Fail("no end of request " + std::to_string(n));
    std::ofstream(prefix + "." + std::to_string(n), std::ios::binary) << answer.out;
    std::ofstream(prefix + "." + std::to_string(n) + ".err", std::ios::binary) << answer.err;
  }
  program.AskToEnd();
  int status = program.WaitForEnd(20000);
  if (status == -1) {
    std::fprintf(stderr, "iis_pipe_driver: the program did not end when asked\n");
    return 92;
  }
  return status;
}

int failed_cases = 0;
void Report(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
  failed_cases += ok ? 0 : 1;
}

int RunCases(const std::string& path, bool synchronous) {
  {
    // Two requests on one connection kept open, then the program ends when asked.
    Program program(path, synchronous);
    if (!program.Started()) return Fail("cannot start " + path);
    HANDLE client = program.Connect();
    std::string received;
    Send(client, testkit::FastCgiRequest(1, kGet, "", true));
    bool first = IsPage(ReadAnswer(client, received));
    Send(client, testkit::FastCgiRequest(2, kGet, "", true));
    bool second = IsPage(ReadAnswer(client, received));
    Report(first && second, "two requests on a kept connection are answered");
    // The connection stays open and idle: the event ends the wait at once.
    program.AskToEnd();
    Report(program.WaitForEnd(5000) == 0, "asked to end while a kept connection is idle, it ends");
    CloseHandle(client);
  }
  {
    Program program(path, synchronous);
    HANDLE client = program.Connect();
    testkit::Params post = kGet;
    post["REQUEST_METHOD"] = "POST";
    post["CONTENT_LENGTH"] = "11";
    post["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
    std::string received;
    Send(client, testkit::FastCgiRequest(1, post, "a=1&b=22&c3"));
    Report(ReadAnswer(client, received).ended, "a request with a body is answered");
    CloseHandle(client);

    // The event set while a request is under way: it is answered first.
    client = program.Connect();
    std::string request = testkit::FastCgiRequest(1, kGet);
    Send(client, request.substr(0, request.size() - 8));
    Sleep(200);
    program.AskToEnd();
    Sleep(300);
    bool waited = program.Running();
    Send(client, request.substr(request.size() - 8));
    received.clear();
    bool answered = IsPage(ReadAnswer(client, received));
    CloseHandle(client);
    Report(waited && answered, "asked to end during a request, it answers the request first");
    Report(program.WaitForEnd(5000) == 0, "and then it ends");
  }
  {
    Program program(path, synchronous);
    HANDLE client = program.Connect();
    std::string received;
    Send(client, testkit::FastCgiRequest(1, kGet));
    Report(IsPage(ReadAnswer(client, received, 4096, 20)),
           "a reader that takes the page slowly gets all of it");
    CloseHandle(client);

    // A reader that reads nothing and keeps the connection: the program
    // hands its answer over within a bound and is free again.
    client = program.Connect();
    testkit::Params extra = kGet;
    extra["PATH_INFO"] = "/extra";
    Send(client, testkit::FastCgiRequest(1, extra));
    Sleep(500);
    program.AskToEnd();
    Report(program.WaitForEnd(20000) == 0,
           "a reader that reads nothing holds the program no longer");
    CloseHandle(client);
  }
  return failed_cases;
}

}  // namespace

int main(int argc, char** argv) {
  int at = 1;
  bool synchronous = false;
  if (at < argc && std::string(argv[at]) == "--synchronous") {
    synchronous = true;
    ++at;
  }
  if (at + 1 < argc + 0 && std::string(argv[at]) == "--cases" && at + 2 == argc) {
    return RunCases(argv[at + 1], synchronous);
  }
  if (argc - at != 3) {
    std::fprintf(stderr,
                 "usage: iis_pipe_driver [--synchronous] PROGRAM REQUESTS OUTPUT_PREFIX\n"
                 "       iis_pipe_driver [--synchronous] --cases PROGRAM\n");
    return 90;
  }
  Program program(argv[at], synchronous);
  if (!program.Started()) return Fail(std::string("cannot start ") + argv[at]);
  return RunRequests(program, argv[at + 1], argv[at + 2]);
}
