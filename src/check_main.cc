// enPanel-check: the site check, a second program from the same code. It
// changes nothing on disk. Not for the CGI folder: it is the operator's tool.
//
//   enPanel-check SITE_FOLDER [--user ACCOUNT] [--fix]
//   enPanel-check --version
//
// Exit status: 0 the site is sound, 1 problems were found, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "check/site_check.h"
#include "platform/accounts.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "version.h"

namespace {

constexpr const char* kUsage =
    "usage: enPanel-check SITE_FOLDER [--user ACCOUNT] [--fix]\n"
    "       enPanel-check --version\n"
    "Reports on the site whose program lives in SITE_FOLDER: the books present\n"
    "per area, incomplete books and stray book files, the headers file, and\n"
    "(with --user) whether ACCOUNT, the web server's, may write the site folder\n"
    "and Statistics/ and read the book files. Each problem says what visitors or\n"
    "the statistics suffer from it and how to mend it. Changes nothing, unless\n"
    "--fix (with --user, as root) carries out the mends of owners and rights,\n"
    "saying each first, and checks again.\n"
    "Exit status: 0 sound, 1 problems found (after --fix: left), 2 bad usage.\n";

int Usage(const char* complaint) {
  if (complaint != nullptr) std::fprintf(stderr, "enPanel-check: %s\n", complaint);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string site, user;
  bool fix = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::fputs("enPanel-check " ENPANEL_VERSION "\n", stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--fix") == 0) {
      fix = true;
    } else if (std::strcmp(argv[i], "--user") == 0) {
      if (i + 1 >= argc) return Usage("--user needs an account");
      user = argv[++i];
    } else if (argv[i][0] == '-') {
      return Usage((std::string("unknown option ") + argv[i]).c_str());
    } else if (site.empty()) {
      site = argv[i];
    } else {
      return Usage("one site folder only");
    }
  }
  if (site.empty()) return Usage(nullptr);
  if (fix && user.empty()) return Usage("--fix needs --user: the mends give files to that account");
  platform::SetDriveRoot(platform::GetEnvironment("ENPANEL_DRIVE_ROOT"));
  if (!platform::DirectoryExists(site)) {
    std::fprintf(stderr, "enPanel-check: no such folder: %s\n", site.c_str());
    return 2;
  }
  platform::Account account;
  if (!user.empty() && !platform::LookUpAccount(user, account)) {
    std::fprintf(stderr, "enPanel-check: no such account: %s\n", user.c_str());
    return 2;
  }
  if (!user.empty() && !platform::CanAskAs(account)) {
    std::fprintf(stderr,
                 "enPanel-check: --user %s: only root (or %s itself) can ask the system what "
                 "the account may do; run the check as root\n",
                 user.c_str(), user.c_str());
    return 2;
  }
  check::SiteReport report = check::CheckSite(site, user.empty() ? nullptr : &account);
  std::fputs(check::FormatReport(site, report).c_str(), stdout);
  if (fix && report.problems() > 0) {
    std::string log;
    bool repaired = check::CarryOutRepairs(account, report, log);
    std::fputs(log.c_str(), stdout);
    if (!repaired) std::fputs("enPanel-check: not every mend could be carried out\n", stderr);
    report = check::CheckSite(site, &account);
    std::fputs(check::FormatReport(site, report).c_str(), stdout);
  }
  return report.problems() == 0 ? 0 : 1;
}
