// The program as a persistent FastCGI process, driven as a web server drives
// it: a run of requests while its site changes between them, each answer and
// the headers files the same as the CGI program's on a twin site changed the
// same way; and what a web server may send or do wrong, after which the
// process goes on; and its end on SIGTERM once the request under way is
// answered.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "platform/files.h"
#include "support/decompress.h"
#include "support/fastcgi_client.h"
#include "support/test_site.h"

namespace {

using testkit::Params;
using testkit::ReadFile;

const Params kRequest = {{"SERVER_PROTOCOL", "HTTP/1.1"},
                         {"REQUEST_METHOD", "GET"},
                         {"HTTP_HOST", "localhost"},
                         {"REMOTE_ADDR", "127.0.0.1"}};

// Where two pages part, with a little of each from there on.
std::string FirstDifference(const std::string& persistent, const std::string& cgi) {
  std::size_t at = 0;
  while (at < persistent.size() && at < cgi.size() && persistent[at] == cgi[at]) ++at;
  std::size_t from = at > 80 ? at - 80 : 0;
  return "the pages differ at byte " + std::to_string(at) + " of " +
         std::to_string(persistent.size()) + " and " + std::to_string(cgi.size()) +
         "\n  persistent: " + persistent.substr(from, 200) +
         "\n  CGI:        " + cgi.substr(from, 200);
}

// A site and its program, under a drive root of its own, so that the twins'
// folders read the same to their programs.
struct Twin {
  testkit::TempDir root;
  std::unique_ptr<testkit::Site> site;
  std::string program;
  std::string Headers() const { return site->program_folder + "Hdrs1020.TXT"; }
};

class Persistent : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Twin* twin : {&fast_, &cgi_}) {
      twin->site = std::make_unique<testkit::Site>(twin->root.path() + "/cgi-bin");
      twin->program = testkit::InstallProgram(ENPANEL_BINARY, twin->site->program_folder);
    }
    Change([](Twin& twin) {
      for (int slot = 1; slot <= 60; ++slot) {
        if (!testkit::CodeOfSlot(slot).empty())
          twin.site->AddBook(slot, "Book " + std::to_string(slot),
                             "Author " + std::to_string(slot));
      }
    });
    process_ = std::make_unique<testkit::FastCgiProcess>(
        fast_.program,
        std::map<std::string, std::string>{{"ENPANEL_DRIVE_ROOT", fast_.root.path()}},
        fast_.root.path() + "/socket");
  }

  // The operator's lines name the twin's own folders: its root stands as ROOT.
  static std::string WithoutRoot(std::string lines, const Twin& twin) {
    const std::string& root = twin.root.path();
    for (std::size_t at = lines.find(root); at != std::string::npos; at = lines.find(root, at)) {
      lines.replace(at, root.size(), "ROOT");
    }
    return lines;
  }

  static std::string DayFile(const Twin& twin, const char* extension) {
    return testkit::StatFile(twin.site->program_folder + "Statistics", extension);
  }

  void Change(const std::function<void(Twin&)>& change) {
    change(fast_);
    change(cgi_);
  }

  // One request to both twins: the same answer, the same lines for the
  // operator (the persistent process's, after them, `also_told`), the same
  // headers file and backup.
  void ExpectTheSame(const std::string& what, const Params& params = kRequest,
                     const std::string& also_told = "") {
    auto answer = process_->Request(params);
    std::map<std::string, std::string> env(params.begin(), params.end());
    env["ENPANEL_DRIVE_ROOT"] = cgi_.root.path();
    testkit::RunResult cgi = testkit::RunProgram(cgi_.program, env);
    EXPECT_TRUE(answer.ended) << what;
    EXPECT_TRUE(answer.out == cgi.out) << what << ": " << FirstDifference(answer.out, cgi.out);
    EXPECT_EQ(WithoutRoot(answer.err, fast_), WithoutRoot(cgi.err, cgi_) + also_told) << what;
    // The day's counter alike, and as many lines in its log.
    EXPECT_EQ(ReadFile(DayFile(fast_, ".ctr")), ReadFile(DayFile(cgi_, ".ctr"))) << what;
    auto lines = [](const Twin& twin) {
      std::string log = ReadFile(DayFile(twin, ".log"));
      return std::count(log.begin(), log.end(), '\n');
    };
    EXPECT_EQ(lines(fast_), lines(cgi_)) << what;
    for (const char* file : {"Hdrs1020.TXT", "Hdrs1020.bak"}) {
      EXPECT_EQ(testkit::Exists(fast_.site->program_folder + file),
                testkit::Exists(cgi_.site->program_folder + file))
          << what << ": " << file;
      EXPECT_EQ(ReadFile(fast_.site->program_folder + file),
                ReadFile(cgi_.site->program_folder + file))
          << what << ": " << file;
    }
    ++requests_;
  }

  Twin fast_, cgi_;
  std::unique_ptr<testkit::FastCgiProcess> process_;
  int requests_ = 0;
};

TEST_F(Persistent, EachAnswerIsTheCgiProgramsOnATwinSite) {
  ExpectTheSame("the first request builds the headers file");
  // The process serves confined: no new privileges, a filter of its own.
  std::string status = ReadFile("/proc/" + std::to_string(process_->pid()) + "/status");
  EXPECT_NE(status.find("NoNewPrivs:\t1"), std::string::npos) << status;
  EXPECT_NE(status.find("Seccomp:\t2"), std::string::npos) << status;
  ExpectTheSame("the next reads it");
  Change([](Twin& twin) {
    // Touched: a moment later than the headers file.
    platform::FileTime headers = 0;
    ASSERT_TRUE(platform::GetModifiedTime(twin.Headers(), headers));
    ASSERT_TRUE(platform::SetModifiedTime(twin.site->TextPath(7), headers + 1));
    twin.site->AddBook(7, "Book 7 renamed", "Author 7");
    ASSERT_TRUE(platform::SetModifiedTime(twin.site->TextPath(7), headers + 1));
  });
  ExpectTheSame("a book touched");
  // Long enough that the folders' times are old when they are next read:
  // their listings may then be kept, and must be let go when they change.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ExpectTheSame("the folders unchanged for a while");
  Change([](Twin& twin) { std::remove(twin.site->TextPath(3).c_str()); });
  ExpectTheSame("a book removed");
  Change([](Twin& twin) { twin.site->AddBook(3, "Book 3 back", "Author 3"); });
  ExpectTheSame("the book put back");
  Change(
      [](Twin& twin) { std::remove((twin.site->idx + testkit::CodeOfSlot(20) + ".IX3").c_str()); });
  ExpectTheSame("an index file removed");
  Change([](Twin& twin) { std::remove(twin.Headers().c_str()); });
  ExpectTheSame("the headers file deleted");
  Change([](Twin& twin) {
    std::mt19937 random(99);
    std::string noise(5000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    testkit::WriteFile(twin.Headers(), noise);
  });
  ExpectTheSame("the headers file garbage");
  Change([](Twin& twin) {
    for (const std::string& name : testkit::ListDir(twin.site->txt)) {
      std::rename((twin.site->txt + name).c_str(), (twin.root.path() + "/" + name).c_str());
    }
  });
  ExpectTheSame("no books at all");
  Change([](Twin& twin) {
    for (const std::string& name : testkit::ListDir(twin.root.path())) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".TXT") {
        std::rename((twin.root.path() + "/" + name).c_str(), (twin.site->txt + name).c_str());
      }
    }
  });
  ExpectTheSame("the books back");
  Params mirror = kRequest;
  mirror["HTTP_HOST"] = "www.Kutubix.Net";
  ExpectTheSame("a mirror's host", mirror);
  Params host = kRequest;
  host.erase("HTTP_HOST");
  host["HOST"] = "mirror.kutubix.com";
  ExpectTheSame("the host from HOST", host);
  Params path_info = kRequest;
  path_info["PATH_INFO"] = "/extra";
  ExpectTheSame("a path info", path_info);
  // Each visit counted once, on both.
  EXPECT_EQ(ReadFile(testkit::StatFile(fast_.site->program_folder + "Statistics", ".ctr")),
            std::to_string(requests_ - 1) + "\r\n");  // no visit for the path info
  EXPECT_EQ(testkit::WholeLogLines(fast_.site->program_folder + "Statistics"),
            testkit::WholeLogLines(cgi_.site->program_folder + "Statistics"));
  EXPECT_EQ(process_->ErrorOutput(), "");
  EXPECT_EQ(process_->Terminate(), 0);
}

// A request sent in two parts, the process asked to end in between: it ends,
// with status 0, only once that request is answered.
// Each signal that asks the process to end ends it once the request under
// way is answered; SIGPIPE never ends it.
TEST_F(Persistent, EndingSignalsWaitForTheRequestUnderWayAndSigpipeEndsNothing) {
  std::string request = testkit::FastCgiRequest(1, kRequest);
  std::size_t cut = request.size() - 8;  // all but the input's end
  for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGUSR1, SIGPIPE}) {
    process_.reset();  // the old one takes its socket's name with it
    process_ = std::make_unique<testkit::FastCgiProcess>(
        fast_.program,
        std::map<std::string, std::string>{{"ENPANEL_DRIVE_ROOT", fast_.root.path()}},
        fast_.root.path() + "/socket");
    ASSERT_NE(process_->Request(kRequest).out.find("</HTML>"), std::string::npos);
    int fd = process_->Connect();
    ASSERT_EQ(send(fd, request.data(), cut, MSG_NOSIGNAL), static_cast<ssize_t>(cut));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(process_->pid(), signal);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(process_->Running()) << strsignal(signal);
    ASSERT_EQ(send(fd, request.data() + cut, 8, MSG_NOSIGNAL), 8);
    std::string bytes;
    testkit::FastCgiAnswer answer;
    char chunk[65536];
    for (ssize_t n; !answer.ended && (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
      bytes.append(chunk, static_cast<std::size_t>(n));
      testkit::ReadFastCgiAnswer(bytes, answer);
    }
    close(fd);
    EXPECT_TRUE(answer.ended) << strsignal(signal);
    EXPECT_EQ(answer.out.substr(answer.out.size() - 7), "</HTML>") << strsignal(signal);
    if (signal == SIGPIPE) {
      EXPECT_NE(process_->Request(kRequest).out.find("</HTML>"), std::string::npos);
      EXPECT_EQ(process_->Terminate(), 0);
    } else {
      EXPECT_EQ(process_->WaitForEnd(5000), 0) << strsignal(signal);  // on its way out
    }
  }
}

// Whatever a web server sends wrong, it gets the protocol's answer or a
// closed connection, and the next request is answered whole.
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// What each log line of a twin says of the sessions running as it ended.
std::vector<std::string> SessionsLogged(const Twin& twin, const std::string& earlier = "") {
  std::vector<std::string> sessions;
  std::string log =
      earlier + ReadFile(testkit::StatFile(twin.site->program_folder + "Statistics", ".log"));
  for (std::size_t at = log.find("SimltSessn:"); at != std::string::npos;
       at = log.find("SimltSessn:", at + 1)) {
    sessions.push_back(log.substr(at, log.find('\n', at) - at));
  }
  return sessions;
}

// The watches the process holds on folders (its inotify instances' lines in
// /proc): a process that keeps its page watches what it was built from.
int FolderWatches(pid_t pid) {
  int watches = 0;
  std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
  for (const std::string& fd : testkit::ListDir(fds)) {
    char target[256] = {};
    if (readlink((fds + fd).c_str(), target, sizeof target - 1) < 0) continue;
    if (std::string(target) != "anon_inode:inotify") continue;
    std::string info = ReadFile("/proc/" + std::to_string(pid) + "/fdinfo/" + fd);
    for (std::size_t at = info.find("inotify wd:"); at != std::string::npos;
         at = info.find("inotify wd:", at + 1)) {
      ++watches;
    }
  }
  return watches;
}

// A thousand random changes, each made on both twins immediately before a
// request, with no pause: books touched to older and newer times, added,
// removed, put back, renamed in letter case; index files removed and added;
// the headers file edited, deleted, cut short, replaced by garbage, made
// unreadable; the book folder removed and made again; mirror hosts and path
// info in between. Every answer is the CGI program's.
TEST_F(Persistent, AThousandRandomChangesAnswerAsTheCgiProgramDoes) {
  ExpectTheSame("the first request");
  ExpectTheSame("a second one, from the kept page");
  EXPECT_GT(FolderWatches(process_->pid()), 0) << "the process keeps its page";
  std::mt19937 random(20261209);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // A slot with a catalogue code, among the first 70 (60 have books).
  auto slot = [&] {
    for (;;) {
      int s = 1 + pick(70);
      if (!testkit::CodeOfSlot(s).empty()) return s;
    }
  };
  // The text file of `slot` as it is spelt now: upper or lower case.
  auto text_file = [](const Twin& twin, int s) {
    std::string upper = twin.site->TextPath(s);
    std::string lower = twin.site->txt + Lower(testkit::CodeOfSlot(s)) + ".txt";
    return testkit::Exists(lower) ? lower : upper;
  };
  // The twins' files get their times from one clock of the test's own, so
  // that whether the headers file is older than a book never depends on how
  // long a step took, or on the file system's clock ticks falling
  // differently on the twins: the books start a day before it, a book
  // written is half a second ahead of it, and a headers file the programs
  // or the test wrote is set to it after the request.
  constexpr platform::FileTime kSecond = 1'000'000'000;
  platform::FileTime clock = 1'600'000'000 * kSecond;
  auto settle = [&](Twin& twin) {
    platform::FileTime t = 0;
    if (platform::GetModifiedTime(twin.Headers(), t) && t > clock + 86400 * kSecond) {
      platform::SetModifiedTime(twin.Headers(), clock);
    }
  };
  Change([&](Twin& twin) {
    for (const std::string& name : testkit::ListDir(twin.site->txt)) {
      platform::SetModifiedTime(twin.site->txt + name, clock - 86400 * kSecond);
    }
  });
  Change(settle);
  auto headers_time = [](const Twin& twin) {
    platform::FileTime t = 0;
    if (!platform::GetModifiedTime(twin.Headers(), t)) t = 0;
    return t;
  };
  std::map<const Twin*, std::string> earlier_lines;  // of logs taken away
  for (int step = 0; step < 1000; ++step) {
    const int s = slot();
    const int kind = pick(18);
    const std::string n = std::to_string(step);
    Params params = kRequest;
    std::string what = "step " + n + ": ";
    switch (kind) {
      case 0:
        what += "a book touched to an older time";
        Change([&](Twin& twin) {
          platform::SetModifiedTime(text_file(twin, s), headers_time(twin) - 100'000'000);
        });
        break;
      case 1:
        what += "a book touched to a newer time";
        Change([&](Twin& twin) {
          platform::SetModifiedTime(text_file(twin, s), headers_time(twin) + 1);
        });
        break;
      case 2:
        what += "a book added or written again";
        Change([&](Twin& twin) {
          std::remove(text_file(twin, s).c_str());
          twin.site->AddBook(s, "Book " + n, "Author " + n);
          platform::SetModifiedTime(twin.site->TextPath(s), clock + kSecond / 2);
        });
        break;
      case 3:
        what += "a book removed";
        Change([&](Twin& twin) { std::remove(text_file(twin, s).c_str()); });
        break;
      case 4:
        what += "a book renamed in letter case";
        Change([&](Twin& twin) {
          std::string now = text_file(twin, s);
          std::string upper = twin.site->TextPath(s);
          std::string lower = twin.site->txt + Lower(testkit::CodeOfSlot(s)) + ".txt";
          std::rename(now.c_str(), (now == upper ? lower : upper).c_str());
        });
        break;
      case 5:
        what += "an index file removed";
        Change([&](Twin& twin) {
          std::remove(
              (twin.site->idx + testkit::CodeOfSlot(s) + ".IX" + std::to_string(pick(6))).c_str());
        });
        break;
      case 6:
        what += "index files added";
        Change([&](Twin& twin) { twin.site->AddIndexFiles(s); });
        break;
      case 7:
        what += "the headers file edited";
        Change([&](Twin& twin) {
          std::string text = ReadFile(twin.Headers());
          if (!text.empty()) text[text.size() / 2] = 'x';
          testkit::WriteFile(twin.Headers(), text);
        });
        break;
      case 8:
        what += "the headers file deleted";
        Change([&](Twin& twin) { std::remove(twin.Headers().c_str()); });
        break;
      case 9:
        what += "the headers file cut short";
        Change([&](Twin& twin) {
          std::string text = ReadFile(twin.Headers());
          testkit::WriteFile(twin.Headers(), text.substr(0, text.size() / 3));
        });
        break;
      case 10: {
        what += "the headers file replaced by garbage";
        std::string noise(200 + pick(3000), '\0');
        for (char& c : noise) c = static_cast<char>(random());
        Change([&](Twin& twin) { testkit::WriteFile(twin.Headers(), noise); });
        break;
      }
      case 11:
        what += "the headers file's rights turned over";
        Change([&](Twin& twin) {
          struct stat st {};
          if (stat(twin.Headers().c_str(), &st) == 0) {
            chmod(twin.Headers().c_str(), (st.st_mode & 0777) == 0 ? 0644 : 0);
          }
        });
        break;
      case 12:
        what += "the book folder removed, or made again";
        Change([&](Twin& twin) {
          std::string folder = twin.site->txt.substr(0, twin.site->txt.size() - 1);
          std::string away = twin.root.path() + "/fulltxt-away";
          if (testkit::Exists(folder) && !testkit::Exists(away)) {
            std::rename(folder.c_str(), away.c_str());
          } else if (testkit::Exists(away) && !testkit::Exists(folder)) {
            std::rename(away.c_str(), folder.c_str());
          } else {
            testkit::MakeDirs(folder);
          }
        });
        break;
      case 13:
        what += "a mirror's host";
        params["HTTP_HOST"] = "www.kutubix.com";
        break;
      case 14:
        what += "a path info";
        params["PATH_INFO"] = "/x";
        break;
      case 15: {
        what += "a sibling program's session begun or ended";
        const char* programs[] = {"arPanel", "qryGate", "txtView", "enPanel"};
        std::string marker = std::string("$") + programs[pick(4)] + "$2026-01-01@00-00-0" +
                             std::to_string(pick(4)) + ".00.Session";
        Change([&](Twin& twin) {
          std::string path = twin.site->program_folder + "Statistics/" + marker;
          if (testkit::Exists(path)) {
            std::remove(path.c_str());
          } else {
            testkit::WriteFile(path, "");
          }
        });
        break;
      }
      case 16: {
        // A process that keeps the day's counter open must count in the file
        // that has the name now.
        what += "the day's counter replaced, or removed";
        const int count = pick(3) == 0 ? -1 : 100 + pick(900);
        Change([&](Twin& twin) {
          std::string counter = DayFile(twin, ".ctr");
          if (count < 0) {
            std::remove(counter.c_str());
            return;
          }
          testkit::WriteFile(counter + ".new", std::to_string(count) + "\r\n");
          std::rename((counter + ".new").c_str(), counter.c_str());
        });
        break;
      }
      case 17: {
        what += "the day's log removed, or renamed away";
        const bool removed = pick(2) == 0;
        Change([&](Twin& twin) {
          std::string log = DayFile(twin, ".log");
          earlier_lines[&twin] += ReadFile(log);
          if (removed) {
            std::remove(log.c_str());
          } else {
            std::rename(log.c_str(), (log + ".old").c_str());
          }
        });
        break;
      }
      default:
        what += "nothing changed";
        break;
    }
    Change([&](Twin& twin) {
      // What the test wrote into the headers file is of this step too.
      if (kind >= 7 && kind <= 10 && testkit::Exists(twin.Headers())) {
        platform::SetModifiedTime(twin.Headers(), clock);
      }
    });
    ExpectTheSame(what, params);
    if (HasFailure()) break;
    clock += kSecond;
    Change(settle);
  }
  // The sessions each visit's log line counted, on both; siblings' among them.
  std::vector<std::string> logged = SessionsLogged(fast_, earlier_lines[&fast_]);
  EXPECT_EQ(logged, SessionsLogged(cgi_, earlier_lines[&cgi_]));
  EXPECT_GT(logged.size(), 900u);
  EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const std::string& line) {
    return line.find("aO=0") == std::string::npos;
  })) << "some visit ended while another program's session ran";
}

// What no notice of a watched folder reports, each after the process has
// kept its page: every answer is still the CGI program's.
class KeptPageTwin : public Persistent {
 protected:
  // A book's time, one second past its twin's headers file: the next
  // request rebuilds the headers file.
  static void NewerThanHeaders(Twin& twin, const std::string& book) {
    platform::FileTime headers = 0;
    platform::GetModifiedTime(twin.Headers(), headers);
    platform::SetModifiedTime(book, headers + 1'000'000'000);
  }
  void KeptFirst() {
    ExpectTheSame("the first request");
    ExpectTheSame("the page kept");
    ExpectTheSame("and kept again");
  }
};

// A file system mounted over the book folder, with other books, and then
// taken away again: a mount raises no notice in the folders themselves.
TEST_F(KeptPageTwin, AMountOverTheBookFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root (CI runs as root)";
  KeptFirst();
  Change([](Twin& twin) {
    ASSERT_EQ(mount("books", twin.site->txt.c_str(), "tmpfs", 0, "size=16m"), 0) << strerror(errno);
    // Books of the slots that have index files already: nothing else changes.
    for (int slot : {2, 5, 9}) {
      testkit::WriteFile(twin.site->TextPath(slot),
                         testkit::BookText("Mounted " + std::to_string(slot), "A"));
    }
  });
  ExpectTheSame("a tmpfs mounted over the book folder");
  ExpectTheSame("its page kept");
  Change([](Twin& twin) { ASSERT_EQ(umount2(twin.site->txt.c_str(), MNT_DETACH), 0); });
  ExpectTheSame("the tmpfs taken away");
  ExpectTheSame("and again");
}

// The index folder is a link whose target is not there yet; then it comes,
// with the index files.
TEST_F(KeptPageTwin, ABookFolderLinkedToAFolderThatComesLater) {
  Change([](Twin& twin) {
    std::string folder = twin.site->idx.substr(0, twin.site->idx.size() - 1);
    ASSERT_EQ(std::rename(folder.c_str(), (twin.root.path() + "/books-away").c_str()), 0);
    ASSERT_EQ(symlink((twin.root.path() + "/later/fullindexes").c_str(), folder.c_str()), 0);
  });
  KeptFirst();
  Change([](Twin& twin) {
    testkit::MakeDirs(twin.root.path() + "/later");
    ASSERT_EQ(std::rename((twin.root.path() + "/books-away").c_str(),
                          (twin.root.path() + "/later/fullindexes").c_str()),
              0);
  });
  ExpectTheSame("the link's target came, with the index files");
  ExpectTheSame("its page kept");
}

// A book that is a link to a file elsewhere, written again there: in
// place, and then as a new file renamed over it.
TEST_F(KeptPageTwin, ABookLinkedToAFileElsewhereRewrittenThere) {
  Change([](Twin& twin) {
    testkit::MakeDirs(twin.root.path() + "/shelf");
    std::string shelved = twin.root.path() + "/shelf/book7";
    ASSERT_EQ(std::rename(twin.site->TextPath(7).c_str(), shelved.c_str()), 0);
    ASSERT_EQ(symlink(shelved.c_str(), twin.site->TextPath(7).c_str()), 0);
  });
  KeptFirst();
  Change([](Twin& twin) {
    // Written through the link: the file on the shelf changes in place.
    testkit::WriteFile(twin.site->TextPath(7), testkit::BookText("Book 7 in place", "Author 7"));
    NewerThanHeaders(twin, twin.site->TextPath(7));
  });
  ExpectTheSame("the linked book written again in place");
  ExpectTheSame("its page kept");
  Change([](Twin& twin) {
    std::string shelf = twin.root.path() + "/shelf/";
    testkit::WriteFile(shelf + "new", testkit::BookText("Book 7 renamed", "Author 7"));
    ASSERT_EQ(std::rename((shelf + "new").c_str(), (shelf + "book7").c_str()), 0);
    NewerThanHeaders(twin, shelf + "book7");
  });
  ExpectTheSame("the linked book replaced by a new file under its name");
}

// A book with another name elsewhere, written through that name.
TEST_F(KeptPageTwin, ABookWithAnotherNameWrittenThroughIt) {
  Change([](Twin& twin) {
    ASSERT_EQ(link(twin.site->TextPath(8).c_str(), (twin.root.path() + "/book8").c_str()), 0);
  });
  KeptFirst();
  Change([](Twin& twin) {
    std::string other = twin.root.path() + "/book8";
    std::ofstream(other, std::ios::binary | std::ios::trunc)
        << testkit::BookText("Book 8 through its other name", "Author 8");
    NewerThanHeaders(twin, other);
  });
  ExpectTheSame("the book written through its other name");
}

// A build that ran out of descriptors shows fewer books; it is not kept, so
// once the limit is raised again the page is whole.
TEST_F(KeptPageTwin, ABuildThatRanOutOfDescriptorsIsNotKept) {
#if defined(__SANITIZE_ADDRESS__)
#define SANITIZED_BUILD
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANITIZED_BUILD
#endif
#endif
#ifdef SANITIZED_BUILD
  GTEST_SKIP() << "the sanitizers need descriptors of their own to check a process (a pipe to "
                  "test memory with): one with none to spare is tested in the release build";
#endif
  KeptFirst();
  // The lowest descriptor number the process has free: the connection's.
  std::set<int> open_now;
  for (const std::string& fd :
       testkit::ListDir("/proc/" + std::to_string(process_->pid()) + "/fd")) {
    open_now.insert(std::stoi(fd));
  }
  int lowest_free = 0;
  while (open_now.count(lowest_free) != 0) ++lowest_free;
  rlimit before{};
  ASSERT_EQ(prlimit(process_->pid(), RLIMIT_NOFILE, nullptr, &before), 0);
  Change([](Twin& twin) { NewerThanHeaders(twin, twin.site->TextPath(4)); });
  // Room for the connection and nothing more.
  rlimit starved = before;
  starved.rlim_cur = static_cast<rlim_t>(lowest_free + 1);
  ASSERT_EQ(prlimit(process_->pid(), RLIMIT_NOFILE, &starved, nullptr), 0);
  auto answer = process_->Request(kRequest);
  EXPECT_TRUE(answer.ended) << "answered, though short of descriptors: " << process_->ErrorOutput();
  ASSERT_EQ(prlimit(process_->pid(), RLIMIT_NOFILE, &before, nullptr), 0);
  // The starved request's own work on the twins: its visit, its headers file.
  std::map<std::string, std::string> env(kRequest.begin(), kRequest.end());
  env["ENPANEL_DRIVE_ROOT"] = cgi_.root.path();
  testkit::RunProgram(cgi_.program, env);
  // What the starved visit could not leave, its marker (the day's counter
  // and log were kept open from the visits before, so it was counted and
  // has its line): the persistent process says once that the next one could.
  const std::string stats = fast_.site->program_folder + "Statistics";
  ExpectTheSame("the limit raised again", kRequest,
                "enPanel: Session markers made again in " + WithoutRoot(stats, fast_) + "\n");
  ExpectTheSame("and the page kept");
}

// Stopped while forty requests each came on a connection of its own, then
// let go: each is answered with the page, and each visit counted.
TEST_F(Persistent, ABurstQueuedWhileTheProcessWasStoppedIsAnsweredWhole) {
  std::string page = process_->Request(kRequest).out;
  ASSERT_NE(page.find("</HTML>"), std::string::npos);
  std::string stats = fast_.site->program_folder + "Statistics";
  long counted = testkit::Counted(stats);
  ASSERT_EQ(kill(process_->pid(), SIGSTOP), 0);
  std::string request = testkit::FastCgiRequest(1, kRequest);
  std::vector<int> queued;
  for (int i = 0; i < 40; ++i) {
    queued.push_back(process_->Connect());
    ASSERT_EQ(send(queued.back(), request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
  }
  ASSERT_EQ(kill(process_->pid(), SIGCONT), 0);
  for (std::size_t i = 0; i < queued.size(); ++i) {
    std::string bytes;
    testkit::FastCgiAnswer answer;
    char chunk[65536];
    pollfd p{queued[i], POLLIN, 0};
    while (!answer.ended && poll(&p, 1, 30000) == 1) {
      ssize_t n = recv(queued[i], chunk, sizeof chunk, 0);
      if (n <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
      testkit::ReadFastCgiAnswer(bytes, answer);
    }
    EXPECT_TRUE(answer.ended) << "connection " << i;
    EXPECT_TRUE(answer.out == page)
        << "connection " << i << ": " << FirstDifference(answer.out, page);
    close(queued[i]);
  }
  EXPECT_EQ(testkit::Counted(stats), counted + 40);
}

// The header block and the body of an answer.
std::pair<std::string, std::string> HeadAndBody(const std::string& answer) {
  std::size_t cut = answer.find("\r\n\r\n");
  if (cut == std::string::npos) return {answer, ""};
  return {answer.substr(0, cut + 2), answer.substr(cut + 4)};
}

// Browsers get the kept page in brotli, gzip clients in gzip, once the
// forms are made (on a thread of the process's own, so the first answers
// go out as they are); each decompresses to the CGI program's page; a
// client that asks for nothing gets the CGI program's bytes throughout.
TEST_F(Persistent, TheKeptPageInTheCodingEachClientPrefers) {
  Params browser = kRequest, gzip_only = kRequest, refuses = kRequest;
  browser["HTTP_ACCEPT_ENCODING"] = "gzip, deflate, br";
  gzip_only["HTTP_ACCEPT_ENCODING"] = "gzip";
  refuses["HTTP_ACCEPT_ENCODING"] = "gzip;q=0, br;q=0";
  auto coded = [&](const Params& params, const std::string& coding) {
    // The forms are made a moment after the page is first asked for.
    for (int tries = 0; tries < 200; ++tries) {
      std::string out = process_->Request(params).out;
      if (out.find("Content-Encoding: " + coding + "\r\n") != std::string::npos) return out;
      EXPECT_EQ(out.find("Content-Encoding"), std::string::npos) << out.substr(0, 200);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::string();
  };
  std::map<std::string, std::string> env(kRequest.begin(), kRequest.end());
  env["ENPANEL_DRIVE_ROOT"] = cgi_.root.path();
  for (int round = 0; round < 2; ++round) {
    const std::string what = round == 0 ? "the first page" : "the page after a change";
    auto [cgi_head, cgi_page] = HeadAndBody(testkit::RunProgram(cgi_.program, env).out);
    auto [br_head, br_body] = HeadAndBody(coded(browser, "br"));
    EXPECT_NE(br_head.find("Vary: Accept-Encoding\r\n"), std::string::npos) << what;
    EXPECT_NE(br_head.find("Content-Length: " + std::to_string(br_body.size()) + "\r\n"),
              std::string::npos)
        << what;
    EXPECT_TRUE(testkit::Unbrotli(br_body) == cgi_page) << what;
    auto [gz_head, gz_body] = HeadAndBody(coded(gzip_only, "gzip"));
    EXPECT_TRUE(testkit::Gunzip(gz_body) == cgi_page) << what;
    EXPECT_LT(br_body.size(), gz_body.size()) << what;
    EXPECT_TRUE(process_->Request(refuses).out == testkit::RunProgram(cgi_.program, env).out)
        << what << ": every coding refused";
    EXPECT_TRUE(process_->Request(kRequest).out == testkit::RunProgram(cgi_.program, env).out)
        << what << ": no Accept-Encoding";
    Change([](Twin& twin) { twin.site->AddBook(3, "Book 3 again", "Author 3"); });
  }
  // The path info's empty answer and a mirror's notice go out as they are.
  Params path_info = browser;
  path_info["PATH_INFO"] = "/x";
  EXPECT_EQ(process_->Request(path_info).out.find("Content-Encoding"), std::string::npos);
  Params mirror = browser;
  mirror["HTTP_HOST"] = "www.kutubix.com";
  EXPECT_EQ(process_->Request(mirror).out.find("Content-Encoding"), std::string::npos);
}

TEST_F(Persistent, WhatAServerSendsWrongEndsAtMostItsConnection) {
  std::string whole = testkit::FastCgiRequest(1, kRequest);
  auto next_is_whole = [&](const std::string& what) {
    auto answer = process_->Request(kRequest);
    EXPECT_TRUE(answer.ended) << what;
    EXPECT_EQ(answer.out.substr(answer.out.size() - 7), "</HTML>") << what;
    EXPECT_TRUE(process_->Running()) << what;
  };
  bool closed = false;
  process_->Exchange(whole.substr(0, 30), 2000, &closed);  // cut short, then the server goes
  next_is_whole("a request cut short");

  std::string bad_lengths = testkit::FastCgiRecord(1, 1, std::string("\0\1\0\0\0\0\0\0", 8)) +
                            testkit::FastCgiRecord(4, 1,
                                                   std::string("\x05\x7F"
                                                               "AB",
                                                               4)) +
                            testkit::FastCgiRecord(4, 1, "");
  process_->Exchange(bad_lengths, 5000, &closed);
  EXPECT_TRUE(closed) << "lengths past the data";
  next_is_whole("lengths past the data");

  Params huge = kRequest;
  huge["HTTP_COOKIE"] = std::string(2 << 20, 'c');
  std::string bytes = process_->Exchange(testkit::FastCgiRequest(1, huge), 5000, &closed);
  testkit::FastCgiAnswer answer;
  testkit::ReadFastCgiAnswer(bytes, answer);
  EXPECT_EQ(answer.protocol_status, 2) << "oversized parameters: overloaded";
  EXPECT_TRUE(closed);
  next_is_whole("oversized parameters");

  bytes = process_->Exchange(testkit::FastCgiRecord(99, 0, "") +
                             testkit::FastCgiRecord(99, 1, "x") + whole);
  answer = testkit::FastCgiAnswer();
  testkit::ReadFastCgiAnswer(bytes, answer);
  EXPECT_EQ(answer.unknown_type_answered, std::string(1, '\x63'));
  EXPECT_TRUE(answer.ended) << "the request after unknown records is answered";

  std::string second = testkit::FastCgiRequest(2, kRequest);
  bytes = process_->Exchange(whole.substr(0, 16) + second + whole.substr(16));
  std::vector<int> ended_ids, statuses;
  for (;;) {
    testkit::FastCgiAnswer one;
    if (!testkit::ReadFastCgiAnswer(bytes, one)) break;
    ended_ids.push_back(one.request_id);
    statuses.push_back(one.protocol_status);
  }
  EXPECT_EQ(ended_ids, (std::vector<int>{2, 1})) << "a second request on a busy connection";
  EXPECT_EQ(statuses, (std::vector<int>{1, 0}));

  process_->Exchange("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 5000, &closed);
  EXPECT_TRUE(closed) << "no FastCGI at all";
  next_is_whole("no FastCGI at all");

  // The server goes before it has read the answer.
  int fd = process_->Connect();
  send(fd, whole.data(), whole.size(), MSG_NOSIGNAL);
  close(fd);
  next_is_whole("a connection broken mid-answer");
  next_is_whole("and the one after");
}

}  // namespace

// Debian's FastCGI client (cgi-fcgi, on libfcgi) reads an answer in pieces
// of 8 KB and misread one whose record header crossed a piece's edge: it
// printed the end of the request as page text and failed. A book's name is
// made as long as brings the end of the output stream to that place; the
// client must read the CGI program's page, whole, and succeed.
TEST_F(Persistent, DebiansFastCgiClientReadsAnAnswerWhoseEndCrossesItsReadingEdge) {
  const std::string client = "/usr/bin/cgi-fcgi";
  if (!testkit::Exists(client)) GTEST_SKIP() << "no " << client << " (libfcgi-bin)";
  std::map<std::string, std::string> env(kRequest.begin(), kRequest.end());
  env["ENPANEL_DRIVE_ROOT"] = cgi_.root.path();
  // Where the header that ends the output stream starts, unpadded.
  auto end_header_at = [](std::size_t out) {
    std::size_t records = (out + 65534) / 65535;
    return out + 8 * records;
  };
  int slot = 1;
  while (testkit::CodeOfSlot(slot).empty()) ++slot;
  auto page_with = [&](std::size_t longer) {
    Change([&](Twin& twin) {
      twin.site->AddBook(slot, "Book" + std::string(longer, 'x'), "Author");
      std::remove(twin.Headers().c_str());
    });
    return testkit::RunProgram(cgi_.program, env).out;
  };
  // How many bytes of page a byte of the name makes, then the name that
  // brings the header to the fifth byte before the edge.
  std::size_t shortest = page_with(0).size();
  std::size_t per_byte = (page_with(64).size() - shortest) / 64;
  ASSERT_GT(per_byte, 0u);
  std::size_t gap = (8192 + 8188 - end_header_at(shortest) % 8192) % 8192;
  std::string cgi = page_with(gap / per_byte);
  ASSERT_GT(end_header_at(cgi.size()) % 8192, 8184u) << "no name brought the end there";
  std::string runner = fast_.root.path() + "/read-one";
  testkit::WriteFile(
      runner, "#!/bin/sh\nexec " + client + " -bind -connect " + fast_.root.path() + "/socket\n");
  chmod(runner.c_str(), 0755);
  env["ENPANEL_DRIVE_ROOT"] = fast_.root.path();
  testkit::RunResult read = testkit::RunProgram(runner, env);
  EXPECT_EQ(read.exit_code, 0) << read.err;
  EXPECT_TRUE(read.out == cgi) << FirstDifference(read.out, cgi);
}

namespace {

// Lines of `err` that begin with `start`.
int LinesStarting(const std::string& err, const std::string& start) {
  int lines = 0;
  for (std::size_t at = 0; at < err.size(); at = err.find('\n', at) + 1) {
    lines += err.compare(at, start.size(), start) == 0 ? 1 : 0;
    if (err.find('\n', at) == std::string::npos) break;
  }
  return lines;
}

// Statistics/ read-only for many visits of one process: each kind of
// failure is told once (the visits come within a minute), and when the
// folder can be written again, once more with the number of visits it hit.
TEST_F(Persistent, AReadOnlyStatisticsFolderIsToldOfOnceAndThenWithItsCount) {
  if (geteuid() != 0) GTEST_SKIP() << "a read-only mount needs root (CI runs as root)";
  const std::string stats = fast_.site->program_folder + "Statistics";
  ExpectTheSame("the first visit");
  ASSERT_EQ(mount(stats.c_str(), stats.c_str(), nullptr, MS_BIND, nullptr), 0) << strerror(errno);
  ASSERT_EQ(mount(nullptr, stats.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
      << strerror(errno);
  constexpr int kVisits = 300;
  std::string err;
  for (int i = 0; i < kVisits; ++i) err += process_->Request(kRequest).err;
  ASSERT_EQ(umount2(stats.c_str(), MNT_DETACH), 0);
  std::string after = WithoutRoot(process_->Request(kRequest).err, fast_);
  for (const char* kind : {"enPanel: No session marker made in ", "enPanel: Visit not counted in ",
                           "enPanel: No log line written"}) {
    EXPECT_EQ(LinesStarting(err, kind), 1) << kind << "\n" << err.substr(0, 2000);
  }
  EXPECT_EQ(LinesStarting(err, "enPanel: "), 3) << err.substr(0, 2000);
  const std::string missed = std::to_string(kVisits - 1) + " visits)";
  EXPECT_NE(after.find("Visits counted again in ROOT/cgi-bin/Statistics/$enPanel$"),
            std::string::npos)
      << after;
  EXPECT_EQ(LinesStarting(after, "enPanel: "), 3) << after;
  EXPECT_EQ(LinesStarting(after, "enPanel: Session markers made again"), 1) << after;
  EXPECT_NE(after.find("(not counted since the last line: " + missed), std::string::npos) << after;
  EXPECT_NE(after.find("(no whole log line since the last line: " + missed), std::string::npos)
      << after;
}

}  // namespace
