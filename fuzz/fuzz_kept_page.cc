// Any bytes as a run of changes to a site between the requests of a
// persistent process: each pair of bytes one change (what, and to which
// book), each followed by a request. The process keeps its page between
// requests, as a persistent process does; every answer must equal the one a
// process that keeps nothing gives on a twin site changed the same way. That
// one runs in a child process, so that what this one keeps stays as it is.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "catalogue/catalogue_table.h"
#include "common/web_action.h"
#include "page/kept_page.h"
#include "page/options_handler.h"
#include "platform/files.h"
#include "program/process_state.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBooks = 12;

class Request : public common::WebRequest {
 public:
  std::string GetStringVariable(int index) const override {
    if (index == common::kHost) return "localhost";
    if (index == common::kRemoteAddress) return "127.0.0.1";
    return "";
  }
};

class Response : public common::WebResponse {
 public:
  std::string content;
  void SetContent(std::string text) override { content = std::move(text); }
};

std::string Answer(const std::string& site) {
  program::StartProcess(site + "enPanel");
  program::StartRequest();
  Request request;
  Response response;
  bool handled = false;
  page::DoEngineAction1(request, response, handled);
  return response.content;
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Code(int slot) {
  std::string code = catalogue::kBuiltInCodes[slot - 1];
  for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return code;
}

// The twins' files get their times from one clock of the fuzzer's own, so
// that whether the headers file is older than a book never depends on how
// long a step took or on the file system's clock ticks: the books start a
// day before it, a book written is half a second ahead of it, and a headers
// file written (by the programs or here) is set to it after the step.
constexpr platform::FileTime kSecond = 1'000'000'000;
platform::FileTime g_clock = 0;

void Settle(const std::string& site) {
  platform::FileTime t = 0;
  if (platform::GetModifiedTime(site + "Hdrs1020.TXT", t) && t > g_clock + 86400 * kSecond) {
    platform::SetModifiedTime(site + "Hdrs1020.TXT", g_clock);
  }
}

void AddBook(const std::string& site, int slot, const std::string& name) {
  Write(site + "fulltxt/" + Code(slot) + ".TXT",
        "Some preface line\r\n*BOOK* " + name + "\r\n*AUTHOR* An author\r\nThe text.\r\n");
  for (char d : std::string("012345")) {
    Write(site + "fullindexes/" + Code(slot) + ".IX" + d, "index");
  }
}

void MakeSite(const std::string& site) {
  fs::remove_all(site);
  fs::create_directories(site + "fulltxt");
  fs::create_directories(site + "fullindexes");
  for (int slot = 1; slot <= kBooks; ++slot) {
    AddBook(site, slot, "Book " + std::to_string(slot));
    platform::SetModifiedTime(site + "fulltxt/" + Code(slot) + ".TXT", g_clock - 86400 * kSecond);
  }
}

// One change, the same on either twin.
void Change(const std::string& site, std::uint8_t what, std::uint8_t which) {
  const int slot = 1 + which % kBooks;
  const std::string text = site + "fulltxt/" + Code(slot) + ".TXT";
  const std::string lower = site + "fulltxt/" + fs::path(text).stem().string() + ".txt";
  const std::string headers = site + "Hdrs1020.TXT";
  platform::FileTime headers_time = 0;
  platform::GetModifiedTime(headers, headers_time);
  switch (what % 12) {
    case 0:
      platform::SetModifiedTime(text, headers_time - 100'000'000);
      break;
    case 1:
      platform::SetModifiedTime(text, headers_time + 1);
      break;
    case 2:
      std::remove(lower.c_str());
      AddBook(site, slot, "Book " + std::to_string(which));
      platform::SetModifiedTime(text, g_clock + kSecond / 2);
      break;
    case 3:
      std::remove(text.c_str());
      break;
    case 4:
      std::rename(text.c_str(), lower.c_str());
      break;
    case 5:
      std::remove((site + "fullindexes/" + Code(slot) + ".IX" + std::to_string(which % 6)).c_str());
      break;
    case 6: {
      std::string h = Read(headers);
      if (!h.empty()) h[which % h.size()] = static_cast<char>(which);
      Write(headers, h);
      platform::SetModifiedTime(headers, g_clock);
      break;
    }
    case 7:
      std::remove(headers.c_str());
      break;
    case 8:
      Write(headers, Read(headers).substr(0, which));
      platform::SetModifiedTime(headers, g_clock);
      break;
    case 9:
      if (fs::exists(site + "fulltxt")) {
        fs::rename(site + "fulltxt", site + "../fulltxt-away");
      } else if (fs::exists(site + "../fulltxt-away")) {
        fs::rename(site + "../fulltxt-away", site + "fulltxt");
      }
      break;
    default:
      break;  // nothing changed
  }
}

// The answer of a process that keeps nothing, on `site`.
std::string FreshAnswer(const std::string& site) {
  int pipefd[2];
  if (pipe(pipefd) != 0) std::abort();
  pid_t child = fork();
  if (child == 0) {
    close(pipefd[0]);
    page::ForgetKeptPage();  // and the parent's watches stay the parent's
    std::string answer = Answer(site);
    for (std::size_t at = 0; at < answer.size();) {
      ssize_t n = write(pipefd[1], answer.data() + at, answer.size() - at);
      if (n <= 0) _exit(1);
      at += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(pipefd[1]);
  std::string answer;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(pipefd[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;  // the fuzzer's own timer
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(pipefd[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the fresh process ended with %d (signal %d)\n",
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                 WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    std::abort();
  }
  return answer;
}

// `answer` with the site's folder named as its twin's, wherever it shows.
std::string AsOnTwin(std::string answer, const std::string& site, const std::string& twin) {
  for (std::size_t at = answer.find(site); at != std::string::npos;
       at = answer.find(site, at + twin.size())) {
    answer.replace(at, site.size(), twin);
  }
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64) return 0;  // 32 changes are plenty for one run
  static const std::string root = [] {
    char folder[] = "/tmp/fuzz-kept-page-XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    return std::string(folder);
  }();
  const std::string kept = root + "/kept/cgi-bin/", fresh = root + "/fresh/cgi-bin/";
  fs::remove_all(root + "/kept");
  fs::remove_all(root + "/fresh");
  g_clock = 1'600'000'000 * kSecond;
  MakeSite(kept);
  MakeSite(fresh);
  page::ForgetKeptPage();
  page::KeepPagesFromNowOn();
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    Change(kept, data[i], data[i + 1]);
    Change(fresh, data[i], data[i + 1]);
    if (AsOnTwin(Answer(kept), kept, fresh) != FreshAnswer(fresh)) std::abort();
    g_clock += kSecond;
    Settle(kept);
    Settle(fresh);
  }
  return 0;
}
