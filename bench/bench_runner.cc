// bench_runner: times whole CGI requests, process start to exit.
//
//   bench_runner [--runs N] [--stale HEADERS_FILE] --case NAME FOLDER PROGRAM [ARG...] ...
//
// Each case's program is started in FOLDER with a CGI environment, its output
// read through a pipe as a web server would; the cases take turns, run after
// run. --stale makes HEADERS_FILE old before every run (a rebuild each time).
// Prints per case: median, 10th and 90th percentile in milliseconds, the
// peak resident memory of the largest run in KiB, and the slowest run in ms.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Case {
  std::string name, folder;
  std::vector<std::string> argv;
  std::vector<double> ms;
  long max_rss_kib = 0;
};

void MakeOld(const std::string& path) {
  timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

bool RunOnce(Case& c) {
  int out[2];
  if (pipe(out) != 0) return false;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 2);
    if (chdir(c.folder.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (auto& a : c.argv) argv.push_back(a.data());
    argv.push_back(nullptr);
    char* envp[] = {const_cast<char*>("SERVER_PROTOCOL=HTTP/1.1"),
                    const_cast<char*>("REQUEST_METHOD=GET"),
                    const_cast<char*>("HTTP_HOST=localhost"),
                    const_cast<char*>("REMOTE_ADDR=127.0.0.1"), nullptr};
    execve(argv[0], argv.data(), envp);
    _exit(127);
  }
  close(out[1]);
  static char buffer[1 << 16];
  while (read(out[0], buffer, sizeof buffer) > 0) {
  }
  close(out[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  c.ms.push_back(ms);
  c.max_rss_kib = std::max(c.max_rss_kib, usage.ru_maxrss);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(std::lround(p * static_cast<double>(v.size() - 1)))];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 30;
  std::string stale;
  std::vector<Case> cases;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (a == "--stale" && i + 1 < argc) {
      stale = argv[++i];
    } else if (a == "--case" && i + 3 < argc) {
      Case c;
      c.name = argv[++i];
      c.folder = argv[++i];
      while (i + 1 < argc && std::strcmp(argv[i + 1], "--case") != 0) c.argv.push_back(argv[++i]);
      cases.push_back(std::move(c));
    }
  }
  if (cases.empty()) {
    std::fprintf(stderr,
                 "usage: bench_runner [--runs N] [--stale FILE] --case NAME FOLDER PROGRAM...\n");
    return 2;
  }
  for (auto& c : cases) RunOnce(c);  // warm the caches
  for (auto& c : cases) {
    c.ms.clear();
    c.max_rss_kib = 0;
  }
  int failures = 0;
  for (int r = 0; r < runs; ++r) {
    for (std::size_t k = 0; k < cases.size(); ++k) {
      Case& c = cases[(k + static_cast<std::size_t>(r)) % cases.size()];
      if (!stale.empty()) MakeOld(stale);
      if (!RunOnce(c)) ++failures;
    }
  }
  for (const auto& c : cases) {
    std::printf("%s %.3f %.3f %.3f %ld %.3f\n", c.name.c_str(), Percentile(c.ms, 0.5),
                Percentile(c.ms, 0.1), Percentile(c.ms, 0.9), c.max_rss_kib, Percentile(c.ms, 1.0));
  }
  return failures == 0 ? 0 : 1;
}
