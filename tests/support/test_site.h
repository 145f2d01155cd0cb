// Test support: temporary folders, files, generated sites, and running the
// built program as a CGI process.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/web_action.h"

namespace testkit {

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);  // parents created
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
void SetMTime(const std::string& path, std::int64_t unix_seconds);
std::vector<std::string> ListDir(const std::string& path);  // sorted names

// The text of a book file: its header lines, then some body text.
std::string BookText(const std::string& name, const std::string& author);

// A site laid out as a web server would have it: the program folder with its
// "fulltxt" and "fullindexes" folders.
struct Site {
  explicit Site(const std::string& program_folder);
  std::string program_folder;  // with a trailing "/"
  std::string txt, idx;        // the book folders, with a trailing "/"
  // Adds the text file and all six index files of catalogue slot `slot`.
  void AddBook(int slot, const std::string& name, const std::string& author);
  void AddIndexFiles(int slot, const std::string& digits = "012345");
  std::string TextPath(int slot) const;
};

// The catalogue code of slot 1..371, in upper case.
std::string CodeOfSlot(int slot);

// Sets or removes an environment variable of this process.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Every process-wide value a request touches as a new process has it
// (program::ResetRequestState), and no drive root.
void ResetProgramState();

// Forgets the folder listings this process keeps from earlier requests
// (where the platform keeps any), as a new process would have none.
void ForgetKeptListings();

// One request of the program, as main() runs it, on the site whose program
// folder is `folder`, handled in this process: the page it hands back.
std::string RequestInProcess(const std::string& folder, const std::string& host = "localhost");

// The first file in `folder` whose name ends in `ending` (the day's ".ctr",
// ".log", a ".Session" marker), with its folder; empty when there is none.
std::string StatFile(const std::string& folder, const std::string& ending);

// A page that begins "<HTML>" and ends "</HTML>".
bool IsWholePage(const std::string& page);

// One line of the day's log (without its line end) for a request from
// 127.0.0.1 to the host localhost.
bool IsLocalLogLine(const std::string& line);
// The number the day's counter in `stats` holds; 0 when there is none.
long Counted(const std::string& stats);
// How many lines the day's log in `stats` holds, each a whole local one
// (IsLocalLogLine); -1 when any is not.
int WholeLogLines(const std::string& stats);

// A request whose variables the test sets, and a response that keeps what
// the handler hands it: the handler's side of the CGI frame.
class TestRequest : public common::WebRequest {
 public:
  std::map<int, std::string> variables;
  std::string GetStringVariable(int index) const override {
    auto it = variables.find(index);
    return it == variables.end() ? std::string() : it->second;
  }
};
class TestResponse : public common::WebResponse {
 public:
  std::string content;
  void SetContent(std::string text) override { content = std::move(text); }
};

struct RunResult {
  int exit_code = -1;
  std::string out, err;
};

// Runs `program` with exactly `env` as its environment and `input` on its
// standard input, and collects what it writes.
RunResult RunProgram(const std::string& program, const std::map<std::string, std::string>& env,
                     const std::string& input = "", int timeout_seconds = 30);

// A run that ended normally with a response whose Content-Length is the
// length of what follows its header block, a whole page.
bool IsWholeResponse(const RunResult& r);

// Starts `program` in `folder` with exactly `env` as its environment, its
// standard input, output and error on the given descriptors (-1: /dev/null),
// and returns its process id. POSIX only.
int StartProgram(const std::string& program, const std::map<std::string, std::string>& env,
                 const std::string& folder, int in_fd, int out_fd, int err_fd);

// Runs `body` in a child process as the ordinary account nobody (dropping
// root where the test runs as root) and returns its result, or -1 when the
// child did not end normally. POSIX only.
int InChildAsNobody(const std::function<int()>& body);

// The program run as a FastCGI application, as spawn-fcgi runs it: a
// listening socket of its own (`socket_path`) as its standard input, `env`
// as its whole environment, standard error kept in a file. POSIX only.
class FastCgiProcess {
 public:
  FastCgiProcess(const std::string& program, const std::map<std::string, std::string>& env,
                 const std::string& socket_path);
  // The same with a child of this process that runs `child_main` with the
  // socket as its standard input, and exits with what it returns.
  FastCgiProcess(const std::function<int()>& child_main, const std::string& socket_path);
  FastCgiProcess(const FastCgiProcess&) = delete;
  FastCgiProcess& operator=(const FastCgiProcess&) = delete;
  ~FastCgiProcess();  // ends the process, killing it when it does not end

  // A new connection to it (a socket the caller closes).
  int Connect();
  // Writes `bytes` on a connection of its own and reads what comes back
  // until the process closes the connection or `timeout_ms` pass; `closed`
  // tells whether the process closed it.
  std::string Exchange(const std::string& bytes, int timeout_ms = 30000, bool* closed = nullptr);
  // One request as a web server sends it, and the answer.
  struct FastCgiAnswerOut {
    std::string out, err;
    bool ended = false;
    int protocol_status = -1;
  };
  FastCgiAnswerOut Request(const std::map<std::string, std::string>& params,
                           const std::string& input = "");
  // Asks it to end (SIGTERM) and waits; its exit status, or -1 when it did not end.
  int Terminate(int timeout_ms = 10000);
  // Waits for it to end by itself: its exit status, or -1 when it did not end.
  int WaitForEnd(int timeout_ms);
  bool Running();
  std::string ErrorOutput() const;
  int pid() const { return pid_; }

 private:
  int pid_ = -1;
  std::string socket_path_, err_path_;
};

// Copies the built program into `folder` (its site folder) and returns its path.
std::string InstallProgram(const std::string& built_program, const std::string& folder);

}  // namespace testkit
