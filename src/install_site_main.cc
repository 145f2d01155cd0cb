// enpanel-install-site.exe: lays out an IIS site from the programs the
// Windows installer put in its own folder, and keeps the list of the sites
// so laid out, so that a newer installer gives each the new program.
//
//   enpanel-install-site.exe --site DIR [--page legacy|todays]
//   enpanel-install-site.exe --upgrade-recorded
//   enpanel-install-site.exe --forget-recorded
//   enpanel-install-site.exe --keep-recorded
//
// --site puts the page's program into DIR as enPanel.exe, and enPanel-check.exe
// beside it, each in one step (a request running meanwhile finds the old
// file or the new one), and records DIR with its page. It changes nothing
// else in DIR. Run again with another --page, it switches the site's page;
// without --page it keeps the page recorded (legacy for a new site).
// --upgrade-recorded does the same for every recorded site, each with its
// page (the installer runs it); --forget-recorded drops the records (the
// installer runs it when it is removed: the sites stay, and serve).
// --keep-recorded copies the records aside before an earlier installation
// is removed for a newer one, and --upgrade-recorded takes them back.
//
// Exit status: 0 done, 1 a site could not be laid out or recorded, 2 bad usage.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/program.h"
#include "platform/site_records.h"
#include "version.h"

namespace {

constexpr const char* kUsage =
    "usage: enpanel-install-site.exe --site DIR [--page legacy|todays]\n"
    "       enpanel-install-site.exe --upgrade-recorded\n"
    "       enpanel-install-site.exe --forget-recorded\n"
    "--site puts the page's program (legacy: the page as it always was, the\n"
    "default; todays: the page for today's browsers) into DIR as enPanel.exe,\n"
    "with enPanel-check.exe, and records the site; nothing else in DIR changes.\n"
    "Run again with another --page, it switches the site's page.\n";

int Usage(const std::string& complaint) {
  std::fprintf(stderr, "enpanel-install-site: %s\n%s", complaint.c_str(), kUsage);
  return 2;
}

// Told on standard error and in the event log: the installer that runs the
// tool shows neither, and the operator looks in the log.
void Tell(const std::string& line) {
  std::fprintf(stderr, "enpanel-install-site: %s\n", line.c_str());
  platform::ToSystemLog("enpanel-install-site: " + line);
}

std::string FolderOf(const std::string& file) {
  std::size_t cut = file.find_last_of("\\/");
  return cut == std::string::npos ? std::string(".") : file.substr(0, cut);
}

std::string WhyNot() { return platform::SystemErrorText(platform::LastErrorCode()); }

// `from` in `to`'s place in one step. A program that runs cannot be written
// over, but it can be renamed: it is moved aside first, and removed when it
// no longer runs (else left, named, for the operator).
bool PutInPlace(const std::string& from, const std::string& to, std::string& error) {
  std::string contents;
  const std::string staging = FolderOf(to) + "\\~enPanel-install.tmp";
  if (!platform::ReadWholeFile(from, contents)) {
    error = "cannot read " + from + ": " + WhyNot();
    return false;
  }
  if (!platform::WriteWholeFile(staging, contents, true)) {
    error = "cannot write " + staging + ": " + WhyNot();
    platform::RemoveFile(staging);
    return false;
  }
  if (platform::RenameFile(staging, to)) return true;
  const std::string aside = FolderOf(to) + "\\~enPanel-replaced.tmp";
  platform::RemoveFile(aside);
  if (!platform::RenameFile(to, aside) || !platform::RenameFile(staging, to)) {
    error = "cannot put " + to + " in place: " + WhyNot();
    platform::RemoveFile(staging);
    return false;
  }
  if (!platform::RemoveFile(aside)) {
    Tell("the program that was " + to + " still runs; it is " + aside +
         " now, to remove once it ends");
  }
  return true;
}

// The site's program and site check from the installation's folder.
bool LayOut(const std::string& own, const platform::SiteRecord& site) {
  const std::string program =
      site.page == "todays" ? own + "\\todays\\enPanel.exe" : own + "\\enPanel.exe";
  std::string error;
  if (!platform::DirectoryExists(site.folder)) {
    Tell(site.folder + ": no such folder; nothing installed");
    return false;
  }
  if (platform::FolderKey(site.folder) == platform::FolderKey(own)) {
    Tell(site.folder + " is the installation's own folder, not a site; nothing installed");
    return false;
  }
  if (!PutInPlace(program, site.folder + "\\enPanel.exe", error) ||
      !PutInPlace(own + "\\enPanel-check.exe", site.folder + "\\enPanel-check.exe", error)) {
    Tell(site.folder + ": " + error);
    return false;
  }
  if (!platform::RecordSite(site, error)) {
    Tell(site.folder +
         ": installed, but not recorded (a newer installer will not upgrade it): " + error);
    return false;
  }
  std::printf(
      "enpanel-install-site: %s: enPanel.exe (the page %s) and enPanel-check.exe " ENPANEL_VERSION
      " installed; the site is recorded\n",
      site.folder.c_str(), site.page.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string site, page;
  bool upgrade = false, forget = false, keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::fputs("enpanel-install-site " ENPANEL_VERSION "\n", stdout);
      return 0;
    }
    if (arg == "--site" || arg == "--page") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage(arg + " needs a value");
      (arg == "--site" ? site : page) = argv[++i];
    } else if (arg == "--upgrade-recorded") {
      upgrade = true;
    } else if (arg == "--forget-recorded") {
      forget = true;
    } else if (arg == "--keep-recorded") {
      keep = true;
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (!page.empty() && page != "legacy" && page != "todays")
    return Usage(
        "--page: \"" + page +
        "\" is neither legacy (the page as it always was) nor todays (for today's browsers)");
  const int alone = int(upgrade) + int(forget) + int(keep);
  if (alone > 1 || (alone == 1 && (!site.empty() || !page.empty())))
    return Usage("--upgrade-recorded, --forget-recorded and --keep-recorded take no other option");
  if (alone == 0 && site.empty()) return Usage("--site DIR is needed");

  const std::string own = FolderOf(platform::ProgramFileName());
  std::string error;
  if (forget) {
    if (!platform::ForgetRecordedSites(error)) {
      Tell(error);
      return 1;
    }
    return 0;
  }
  if (keep) {
    if (!platform::KeepRecordsAside(error)) {
      Tell(error);
      return 1;
    }
    return 0;
  }
  if (upgrade && !platform::TakeBackKeptRecords(error)) {
    Tell(error);
    error.clear();
  }
  std::vector<platform::SiteRecord> recorded = platform::RecordedSites(error);
  if (!error.empty()) {
    Tell(error);
    if (upgrade) return 1;
  }
  if (upgrade) {
    int status = 0;
    for (const platform::SiteRecord& record : recorded) {
      if (!LayOut(own, record)) status = 1;
    }
    return status;
  }
  platform::SiteRecord wanted{platform::RecordedForm(site), page};
  if (wanted.folder.empty()) return Usage("--site " + site + ": not a path this system can use");
  if (wanted.page.empty()) {
    wanted.page = "legacy";
    for (const platform::SiteRecord& record : recorded) {
      if (platform::FolderKey(record.folder) == platform::FolderKey(wanted.folder))
        wanted.page = record.page;
    }
  }
  return LayOut(own, wanted) ? 0 : 1;
}
