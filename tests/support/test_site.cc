#include "support/test_site.h"

#include "support/fastcgi_client.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "catalogue/areas.h"
#include "catalogue/catalogue_table.h"
#include "page/options_handler.h"
#include "platform/files.h"
#include "platform/folder_cache.h"
#include "program/process_state.h"
#include "server/statistics.h"

namespace fs = std::filesystem;

namespace testkit {

TempDir::TempDir() {
  static unsigned counter = 0;
  auto seed = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    fs::path candidate = fs::temp_directory_path() /
                         ("enpanel-test-" + std::to_string(seed) + "-" + std::to_string(++counter));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.generic_string();
      return;
    }
    if (ec) throw std::runtime_error("cannot make a temporary folder");
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Undo read-only folders left by a test before removing everything.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void WriteFile(const std::string& path, const std::string& contents) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

void SetMTime(const std::string& path, std::int64_t unix_seconds) {
  if (!platform::SetModifiedTime(path, platform::FileTimeFromUnixSeconds(unix_seconds))) {
    throw std::runtime_error("cannot set the time of " + path);
  }
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");
#else
  unsetenv(name.c_str());
#endif
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(path, ec))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string BookText(const std::string& name, const std::string& author) {
  return "Some preface line\r\n*BOOK* " + name + "\r\n*AUTHOR* " + author +
         "\r\n*BOOK* not a header any more\r\nThe text of the book.\r\n";
}

std::string CodeOfSlot(int slot) {
  std::string code = catalogue::kBuiltInCodes[slot - 1];
  for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return code;
}

Site::Site(const std::string& folder)
    : program_folder(folder.back() == '/' ? folder : folder + "/"),
      txt(program_folder + "fulltxt/"),
      idx(program_folder + "fullindexes/") {
  MakeDirs(txt);
  MakeDirs(idx);
}

std::string Site::TextPath(int slot) const { return txt + CodeOfSlot(slot) + ".TXT"; }

void Site::AddIndexFiles(int slot, const std::string& digits) {
  for (char d : digits) WriteFile(idx + CodeOfSlot(slot) + ".IX" + d, "index");
}

void Site::AddBook(int slot, const std::string& name, const std::string& author) {
  WriteFile(TextPath(slot), BookText(name, author));
  AddIndexFiles(slot);
}

void ResetProgramState() {
  program::ResetRequestState();
  server::ForgetStatisticsFaults();
  catalogue::InitAreas();
  platform::SetDriveRoot("");
}

void ForgetKeptListings() {
#ifndef _WIN32
  platform::folder_cache::ForgetAll();
#endif
}

std::string RequestInProcess(const std::string& folder, const std::string& host) {
  program::StartProcess(folder + "enPanel");
  program::StartRequest();
  TestRequest request;
  request.variables[common::kHost] = host;
  request.variables[common::kRemoteAddress] = "127.0.0.1";
  TestResponse response;
  bool handled = false;
  page::DoEngineAction1(request, response, handled);
  return response.content;
}

std::string StatFile(const std::string& folder, const std::string& ending) {
  std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (const auto& name : ListDir(folder)) {
    if (name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      return prefix + name;
    }
  }
  return "";
}

bool IsWholePage(const std::string& page) {
  return page.rfind("<HTML>", 0) == 0 && page.size() > 7 &&
         page.compare(page.size() - 7, 7, "</HTML>") == 0;
}

bool IsLocalLogLine(const std::string& line) {
  static const std::regex kLine(
      R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d; Dur=(\d\dh )?\d\dm:\d\d\.\d{3}s; SimltSessn: aO=0 eO=\d+ Sr=0 Ds=0 TOT=\d+ RemotAddr=\[127\.0\.0\.1\] Host=\[localhost\]\r)");
  return std::regex_match(line, kLine);
}

long Counted(const std::string& stats) {
  std::string counter = StatFile(stats, ".ctr");
  return counter.empty() ? 0 : std::stol(ReadFile(counter));
}

int WholeLogLines(const std::string& stats) {
  std::string path = StatFile(stats, ".log");
  if (path.empty()) return 0;
  std::string log = ReadFile(path);
  if (!log.empty() && log.back() != '\n') return -1;
  std::istringstream in(log);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    if (!IsLocalLogLine(line)) return -1;
  }
  return lines;
}

bool IsWholeResponse(const RunResult& r) {
  std::size_t body = r.out.find("\r\n\r\n");
  std::size_t length_at = r.out.find("Content-Length: ");
  if (r.exit_code != 0 || body == std::string::npos || length_at == std::string::npos) return false;
  std::size_t length = std::stoul(r.out.substr(length_at + 16));
  return r.out.size() - body - 4 == length && IsWholePage(r.out.substr(body + 4));
}

#ifndef _WIN32
int InChildAsNobody(const std::function<int()>& body) {
  pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(100);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int StartProgram(const std::string& program, const std::map<std::string, std::string>& env,
                 const std::string& folder, int in_fd, int out_fd, int err_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int targets[3] = {0, 1, 2};
  int sources[3] = {in_fd, out_fd, err_fd};
  for (int i = 0; i < 3; ++i) {
    if (sources[i] >= 0) {
      posix_spawn_file_actions_adddup2(&actions, sources[i], targets[i]);
    } else {
      posix_spawn_file_actions_addopen(&actions, targets[i], "/dev/null",
                                       i == 0 ? O_RDONLY : O_WRONLY, 0);
    }
  }
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> env_strings;
  env_strings.reserve(env.size());
  for (const auto& [k, v] : env) env_strings.push_back(k + "=" + v);
  std::vector<char*> envp;
  envp.reserve(env_strings.size() + 1);
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string prog = program;
  char* argv[] = {prog.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("posix_spawn failed: " + program);
  return pid;
}

RunResult RunProgram(const std::string& program, const std::map<std::string, std::string>& env,
                     const std::string& input, int timeout_seconds) {
  // Close-on-exec: programs that other threads start at the same moment must
  // not inherit these pipes, or this program's output would not end when it
  // exits. The copies made on 0, 1 and 2 are inherited.
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 ||
      pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  pid_t pid = StartProgram(program, env, "", in_pipe[0], out_pipe[1], err_pipe[1]);
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);

  RunResult result;
  signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  if (input.empty()) {
    close(in_pipe[1]);
    in_pipe[1] = -1;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool out_open = true, err_open = true;
  while (out_open || err_open) {
    pollfd fds[3];
    int n = 0;
    if (out_open) fds[n++] = {out_pipe[0], POLLIN, 0};
    if (err_open) fds[n++] = {err_pipe[0], POLLIN, 0};
    if (in_pipe[1] >= 0) fds[n++] = {in_pipe[1], POLLOUT, 0};
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, static_cast<nfds_t>(n), left) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_pipe[1]) {
        ssize_t w = write(in_pipe[1], input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w <= 0 || written == input.size()) {
          close(in_pipe[1]);
          in_pipe[1] = -1;
        }
        continue;
      }
      char buffer[65536];
      ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
      if (r <= 0) {
        if (fds[i].fd == out_pipe[0])
          out_open = false;
        else
          err_open = false;
      } else {
        (fds[i].fd == out_pipe[0] ? result.out : result.err)
            .append(buffer, static_cast<std::size_t>(r));
      }
    }
  }
  if (in_pipe[1] >= 0) close(in_pipe[1]);
  close(out_pipe[0]);
  close(err_pipe[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

namespace {

// A listening socket at `socket_path`.
int ListenAt(const std::string& socket_path) {
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (listener < 0 || socket_path.size() >= sizeof address.sun_path) {
    throw std::runtime_error("cannot make a socket at " + socket_path);
  }
  std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
  unlink(socket_path.c_str());
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 64) != 0) {
    throw std::runtime_error("cannot listen at " + socket_path);
  }
  return listener;
}

}  // namespace

FastCgiProcess::FastCgiProcess(const std::string& program,
                               const std::map<std::string, std::string>& env,
                               const std::string& socket_path)
    : socket_path_(socket_path), err_path_(socket_path + ".stderr") {
  int listener = ListenAt(socket_path);
  int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_ = StartProgram(program, env, "", listener, -1, err);
  close(listener);
  close(err);
}

FastCgiProcess::FastCgiProcess(const std::function<int()>& child_main,
                               const std::string& socket_path)
    : socket_path_(socket_path), err_path_(socket_path + ".stderr") {
  int listener = ListenAt(socket_path);
  int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(listener, 0);
    dup2(err, 2);
    _exit(child_main());
  }
  close(listener);
  close(err);
}

FastCgiProcess::~FastCgiProcess() {
  if (pid_ > 0 && Terminate(5000) == -1) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  unlink(socket_path_.c_str());
  unlink(err_path_.c_str());
}

int FastCgiProcess::Connect() {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::copy(socket_path_.begin(), socket_path_.end(), address.sun_path);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    throw std::runtime_error("cannot connect to " + socket_path_);
  }
  return fd;
}

std::string FastCgiProcess::Exchange(const std::string& bytes, int timeout_ms, bool* closed) {
  if (closed != nullptr) *closed = false;
  int fd = Connect();
  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
    if (n <= 0) break;  // the process may close early on what it cannot take
    written += static_cast<std::size_t>(n);
  }
  std::string received;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) break;
    char chunk[65536];
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) {
      if (closed != nullptr) *closed = true;
      break;
    }
    received.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return received;
}

FastCgiProcess::FastCgiAnswerOut FastCgiProcess::Request(
    const std::map<std::string, std::string>& params, const std::string& input) {
  std::string bytes = Exchange(FastCgiRequest(1, params, input));
  FastCgiAnswer answer;
  ReadFastCgiAnswer(bytes, answer);
  return FastCgiAnswerOut{answer.out, answer.err, answer.ended, answer.protocol_status};
}

bool FastCgiProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

int FastCgiProcess::Terminate(int timeout_ms) {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  return WaitForEnd(timeout_ms);
}

int FastCgiProcess::WaitForEnd(int timeout_ms) {
  if (pid_ <= 0) return -1;
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    usleep(10000);
  }
  return -1;
}

std::string FastCgiProcess::ErrorOutput() const { return ReadFile(err_path_); }

#endif

std::string InstallProgram(const std::string& built_program, const std::string& folder) {
  MakeDirs(folder);
  std::string target = (fs::path(folder) / "enPanel").string();
  fs::copy_file(built_program, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  return target;
}

}  // namespace testkit
