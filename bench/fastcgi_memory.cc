// Resident memory of one persistent process across a long run: starts the
// program on a listening socket of its own, sends it COUNT requests one
// after another, each on a new connection as nginx sends them, checks every
// answer against the expected response, and prints the process's resident
// size after each of the given counts and the mean time of a request.
//   bench_fastcgi_memory PROGRAM RESPONSE_FILE SOCKET COUNT...
// Lines: "after N requests: RSS KiB, MEAN ms per request".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/test_site.h"

namespace {

long ResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: bench_fastcgi_memory PROGRAM RESPONSE_FILE SOCKET COUNT...\n";
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  std::string response((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<long> counts;
  for (int i = 4; i < argc; ++i) counts.push_back(std::atol(argv[i]));

  testkit::FastCgiProcess process(argv[1], {}, argv[3]);
  const std::map<std::string, std::string> params = {{"SERVER_PROTOCOL", "HTTP/1.1"},
                                                     {"REQUEST_METHOD", "GET"},
                                                     {"HTTP_HOST", "localhost"},
                                                     {"REMOTE_ADDR", "127.0.0.1"},
                                                     {"GATEWAY_INTERFACE", "CGI/1.1"}};
  long done = 0;
  auto started = std::chrono::steady_clock::now();
  for (long count : counts) {
    for (; done < count; ++done) {
      auto answer = process.Request(params);
      if (!answer.ended || answer.out != response) {
        std::cerr << "request " << done + 1 << ": the answer differs from " << argv[2] << " ("
                  << answer.out.size() << " bytes)\n"
                  << answer.err;
        return 1;
      }
    }
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    std::printf("after %ld requests: %ld KiB, %.3f ms per request\n", done,
                ResidentKiB(process.pid()), ms / static_cast<double>(done));
    std::fflush(stdout);
  }
  return 0;
}
