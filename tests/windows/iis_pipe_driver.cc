// iis_pipe_driver: drives a Windows FastCGI application the way IIS does. It
// makes a named pipe, starts the program with the pipe's server end as its
// standard input and no standard output or error (IIS gives none), names the
// pipe in _FCGI_X_PIPE_ and an event in _FCGI_SHUTDOWN_EVENT_, sends each
// request on a connection of its own, and at the end sets the event and
// waits for the program to end.
//
//   iis_pipe_driver PROGRAM REQUESTS OUTPUT_PREFIX
//
// REQUESTS holds one request per line, its parameters as NAME=VALUE pairs
// separated by "|". The standard output of request n goes to
// OUTPUT_PREFIX.n, its standard error to OUTPUT_PREFIX.n.err. Exit status:
// the program's own, or 90 and above when the driver could not do its part.
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

// Connects as IIS does, waiting while the program is not yet listening.
HANDLE ConnectToPipe(const std::string& name) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) return h;
    if (GetLastError() == ERROR_PIPE_BUSY) WaitNamedPipeA(name.c_str(), 100);
    Sleep(10);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: iis_pipe_driver PROGRAM REQUESTS OUTPUT_PREFIX\n");
    return 90;
  }
  std::string program = argv[1], prefix = argv[3];
  std::ifstream requests(argv[2]);
  std::string pipe_name = "\\\\.\\pipe\\enpanel-test-" + std::to_string(GetCurrentProcessId());

  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE pipe = CreateNamedPipeA(pipe_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536,
                                 0, &inherited);
  if (pipe == INVALID_HANDLE_VALUE) return Fail("cannot make the pipe");
  HANDLE shutdown = CreateEventA(&inherited, TRUE, FALSE, nullptr);
  if (shutdown == nullptr) return Fail("cannot make the shutdown event");
  SetEnvironmentVariableA("_FCGI_X_PIPE_", pipe_name.c_str());
  SetEnvironmentVariableA(
      "_FCGI_SHUTDOWN_EVENT_",
      std::to_string(static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(shutdown)))
          .c_str());

  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = pipe;
  start.hStdOutput = INVALID_HANDLE_VALUE;
  start.hStdError = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION child{};
  std::string command = "\"" + program + "\"";
  if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &start, &child)) {
    return Fail("cannot start " + program);
  }
  CloseHandle(pipe);  // the program holds the server end now

  int n = 0;
  for (std::string line; std::getline(requests, line);) {
    if (line.empty()) continue;
    ++n;
    HANDLE client = ConnectToPipe(pipe_name);
    if (client == INVALID_HANDLE_VALUE) return Fail("cannot connect to the program");
    std::string bytes = testkit::FastCgiRequest(1, ParseParams(line));
    DWORD written = 0;
    if (!WriteFile(client, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
      return Fail("cannot write request " + std::to_string(n));
    }
    std::string received;
    testkit::FastCgiAnswer answer;
    char chunk[65536];
    DWORD got = 0;
    while (!answer.ended && ReadFile(client, chunk, sizeof chunk, &got, nullptr) && got > 0) {
      received.append(chunk, got);
      testkit::ReadFastCgiAnswer(received, answer);
    }
    CloseHandle(client);
    if (!answer.ended) return Fail("no end of request " + std::to_string(n));
    std::ofstream(prefix + "." + std::to_string(n), std::ios::binary) << answer.out;
    std::ofstream(prefix + "." + std::to_string(n) + ".err", std::ios::binary) << answer.err;
  }

  SetEvent(shutdown);
  if (WaitForSingleObject(child.hProcess, 20000) != WAIT_OBJECT_0) {
    TerminateProcess(child.hProcess, 1);
    std::fprintf(stderr, "iis_pipe_driver: the program did not end when asked\n");
    return 92;
  }
  DWORD status = 0;
  GetExitCodeProcess(child.hProcess, &status);
  return static_cast<int>(status);
}
