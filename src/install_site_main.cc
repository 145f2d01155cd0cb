// enpanel-install-site.exe: lays out an IIS site from the programs the
// Windows installer put in its own folder, and keeps the list of the sites
// so laid out, so that a newer installer gives each the new program.
//
//   enpanel-install-site.exe --site DIR [--page legacy|todays] [--mode cgi|fastcgi] [--new]
//                            [--if-there]
//   enpanel-install-site.exe --restore --site DIR
//   enpanel-install-site.exe --forget --site DIR
//   enpanel-install-site.exe --list
//   enpanel-install-site.exe --upgrade-recorded | --forget-recorded | --keep-recorded
//
// --site puts the page's program into DIR as enPanel.exe, and enPanel-check.exe
// beside it, each in one step (a request running meanwhile finds the old
// file or the new one), writes the site's web.config (beside one the site
// has, as web.config.enpanel-new), keeps the site's choices in DIR itself
// (.install-site: its page and mode) and records DIR. The program the
// first run replaces is kept as enPanel.exe.before-enpanel, which --restore
// puts back. Runs at once on one site take turns. It changes nothing else
// in DIR, and refuses a folder that is no site (unless --new says one is
// meant), a drive's root, the Windows folder and the installation's own.
// It runs as an administrator in a folder the web account may write: it
// writes only new names of its own, renamed into place, and reads nothing
// there through a link or a second name.
// --upgrade-recorded does the same for every recorded site with its own
// choices (the installer runs it); a recorded folder that is gone is named
// and its record dropped. With --if-there, --site passes over a folder that
// is gone (the installer's run on the folder an earlier installer was
// installed into). --forget-recorded drops the records (the
// installer runs it when it is removed: the sites stay, and serve).
// --keep-recorded copies the records aside before an earlier installation
// is removed for a newer one, and --upgrade-recorded takes them back.
//
// Exit status: 0 done, 1 a site could not be laid out or recorded, 2 bad usage.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/event_log.h"
#include "platform/files.h"
#include "platform/program.h"
#include "platform/site_records.h"
#include "version.h"

namespace {

constexpr const char* kUsage =
    "usage: enpanel-install-site.exe --site DIR [--page legacy|todays] [--mode cgi|fastcgi] "
    "[--new]\n"
    "       enpanel-install-site.exe --restore --site DIR\n"
    "       enpanel-install-site.exe --forget --site DIR\n"
    "       enpanel-install-site.exe --list\n"
    "       enpanel-install-site.exe --upgrade-recorded\n"
    "       enpanel-install-site.exe --forget-recorded\n"
    "--site puts the page's program (legacy: the page as it always was, the\n"
    "default; todays: the page for today's browsers) into DIR as enPanel.exe,\n"
    "with enPanel-check.exe and the site's web.config (cgi, the default, or\n"
    "fastcgi), and records the site; nothing else in DIR changes. Run again\n"
    "with another --page or --mode, it switches the site to it. The program it\n"
    "first replaces is kept as enPanel.exe.before-enpanel: --restore puts it\n"
    "back. --new lays out a folder that holds no site yet.\n";

constexpr const char* kStateName = ".install-site";
constexpr const char* kKeptName = "enPanel.exe.before-enpanel";
// How long a run waits for another run on the same site.
constexpr unsigned long kTurnMs = 120000;

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

std::string Key(const std::string& folder) { return platform::FolderKey(folder); }

// Whether `inner` is `outer` or lies in it.
bool Within(const std::string& inner, const std::string& outer) {
  const std::string i = Key(inner), o = Key(outer);
  return !o.empty() && (i == o || i.rfind(o + "/", 0) == 0);
}

// A name of this run's own beside `to`, for what it stages there (the
// `attempt`th: a name someone else took is passed over).
std::string OwnName(const std::string& to, const char* what, int attempt = 0) {
  std::string name = FolderOf(to);
  name.append("\\~enPanel-").append(what).append("-").append(std::to_string(platform::RunNumber()));
  if (attempt > 0) name.append("-").append(std::to_string(attempt));
  return name + ".tmp";
}

// `contents` in a new file of this run's own beside `to`, written through
// what it created: the site's folder may be the web account's to write,
// and a name it took first (a link, even to nothing) is never written
// through but passed over. Empty, with `error`, when none could be made.
std::string Staged(const std::string& contents, const std::string& to, std::string& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string staging = OwnName(to, "install", attempt);
    switch (platform::WriteNewFile(staging, contents, true)) {
      case platform::CreateResult::kCreated:
        return staging;
      case platform::CreateResult::kExists:
        continue;
      case platform::CreateResult::kFailed:
        error = "cannot write " + staging + ": " + WhyNot();
        platform::RemoveFile(staging);
        return std::string();
    }
  }
  error = "cannot write beside " + to + ": every name of this run's is taken";
  return std::string();
}

// Where the file for `to` waits for the machine's next start.
std::string PendingName(const std::string& to) {
  return FolderOf(to) + "\\~enPanel-next-start-" + to.substr(to.find_last_of("\\/") + 1) + ".tmp";
}

// `contents` in `to`'s place in one step. A program that runs cannot be
// written over, but it can be renamed: it is moved aside first, and
// removed now or, while it still runs, when the machine next starts. A
// file held open so that it cannot even be renamed gets the new one when
// the machine next starts (from a name the next run's tidying leaves);
// `later` says so. A file put in place now takes back such a replacement
// still waiting (its file goes, so the rename at the start finds none).
bool PutInPlace(const std::string& contents, const std::string& to, bool& later,
                std::string& error) {
  later = false;
  const std::string staging = Staged(contents, to, error);
  const std::string pending = PendingName(to);
  if (staging.empty()) return false;
  if (platform::RenameFile(staging, to)) {
    platform::RemoveFile(pending);
    return true;
  }
  const std::string aside = OwnName(to, "replaced");
  if (platform::RenameFile(to, aside)) {
    if (!platform::RenameFile(staging, to)) {
      error = "cannot put " + to + " in place: " + WhyNot();
      platform::RenameFile(aside, to);
      platform::RemoveFile(staging);
      return false;
    }
    if (!platform::RemoveFile(aside) && !platform::ReplaceAtRestart(aside, "")) {
      Tell("the program that was " + to + " still runs; it is " + aside +
           " now, to remove once it ends");
    }
    platform::RemoveFile(pending);
    return true;
  }
  error = WhyNot();
  platform::RemoveFile(pending);
  if (platform::RenameFile(staging, pending) && platform::ReplaceAtRestart(pending, to)) {
    later = true;
    return true;
  }
  error = "cannot put " + to + " in place: " + error;
  platform::RemoveFile(staging);
  platform::RemoveFile(pending);
  return false;
}

// The installation's file `from` in `to`'s place.
bool PutFileInPlace(const std::string& from, const std::string& to, bool& later,
                    std::string& error) {
  std::string contents;
  if (!platform::ReadWholeFile(from, contents)) {
    error = "cannot read " + from + ": " + WhyNot();
    return false;
  }
  return PutInPlace(contents, to, later, error);
}

// What earlier runs left in the site folder and no run uses now (the
// caller holds the site's turn): their staged files, and programs moved
// aside that have ended since.
void RemoveLeftovers(const std::string& site) {
  for (const char* pattern : {"~enPanel-install*.tmp", "~enPanel-replaced*.tmp"}) {
    for (const platform::DirEntry& entry : platform::FindFiles(site + "\\" + pattern)) {
      platform::RemoveFile(site + "\\" + entry.name);
    }
  }
}

// The site's own record of its choices, `key=value` lines.
using State = std::map<std::string, std::string>;

// The site's state; empty where it has none. One that is a link or has a
// second name (the web account's doing, where it may write the folder) is
// not read, and `trusted` is then false.
State ReadState(const std::string& site, bool* trusted = nullptr) {
  State state;
  std::string text;
  if (trusted != nullptr) *trusted = true;
  if (!platform::ReadFileOfOneName(site + "\\" + kStateName, text)) {
    if (trusted != nullptr) *trusted = platform::LastErrorCode() != platform::kRefusedName;
    return state;
  }
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) state[line.substr(0, equals)] = line.substr(equals + 1);
    at = end + 1;
  }
  return state;
}

bool WriteState(const std::string& site, const State& state, std::string& error) {
  std::string text;
  for (const auto& [key, value] : state) text += key + "=" + value + "\n";
  bool later = false;
  return PutInPlace(text, site + "\\" + kStateName, later, error);
}

// Whether `folder` holds anything of a site: the book folders, the
// headers file, the statistics or a program of this name.
bool HoldsASite(const std::string& folder) {
  for (const char* name : {"fulltxt", "fullindexes", "Statistics"}) {
    if (platform::DirectoryExists(folder + "\\" + name)) return true;
  }
  return platform::FileExists(folder + "\\Hdrs1020.TXT") ||
         platform::FileExists(folder + "\\enPanel.exe");
}

// Why `folder` is no place for a site; empty when it is one.
std::string Refusal(const std::string& folder, const std::string& own, bool is_new) {
  if (!platform::DirectoryExists(folder)) return "no such folder";
  const bool share_root =
      folder.rfind("\\\\", 0) == 0 && folder.find('\\', 2) == folder.rfind('\\');
  if (folder.size() <= 3 || share_root) return "a drive's (or a share's) root, not a site's folder";
  const std::string windows = platform::WindowsFolder();
  if (!windows.empty() && Within(folder, windows)) return "the Windows folder, not a site's folder";
  if (Within(folder, own)) return "inside the installation's own folder, not a site's folder";
  if (!is_new && !HoldsASite(folder))
    return "holds no site (no fulltxt\\, fullindexes\\, Hdrs1020.TXT, Statistics\\ or "
           "enPanel.exe); --new lays out a new one";
  return "";
}

// The site's web.config from the installation's file for the mode, the
// program's path in it the site's own.
bool WebConfigFor(const std::string& own, const std::string& site, const std::string& mode,
                  std::string& text) {
  const std::string file =
      own + (mode == "fastcgi" ? "\\iis\\web-fastcgi.config" : "\\iis\\web.config");
  if (!platform::ReadWholeFile(file, text)) return false;
  const std::string example = "C:\\inetpub\\kutubix\\enPanel.exe";
  const std::string program = site + "\\enPanel.exe";
  for (std::size_t at = text.find(example); at != std::string::npos;
       at = text.find(example, at + program.size())) {
    text.replace(at, example.size(), program);
  }
  return true;
}

// The handler's name the web.config of each mode gives.
std::string HandlerName(const std::string& mode) {
  return mode == "fastcgi" ? "name=\"enPanel-FastCGI\"" : "name=\"enPanel-CGI\"";
}

// The site's web.config: written where it has none, and replaced while it
// is as the tool wrote it; where it has its own (the siblings' settings,
// or the tool's file edited since), kept, with enPanel's beside it to
// merge, unless it already maps the program. `state` notes the
// fingerprint of the file the tool wrote.
bool LayOutWebConfig(const std::string& own, const std::string& site, const std::string& mode,
                     State& state, std::string& told) {
  std::string ours, theirs;
  if (!WebConfigFor(own, site, mode, ours)) {
    told = "cannot read the installation's IIS configuration: " + WhyNot();
    return false;
  }
  const std::string config = site + "\\web.config";
  const std::string beside = config + ".enpanel-new";
  bool later = false;
  std::string error;
  // One that is a link or has a second name is not read: it is the
  // site's own, whatever it holds.
  const bool there = platform::PathExists(config);
  const bool read = platform::ReadFileOfOneName(config, theirs);
  if (!there || (read && platform::Fingerprint(theirs) == state["web.config"])) {
    if (theirs != ours && !PutInPlace(ours, config, later, error)) {
      told = error;
      return false;
    }
    state["web.config"] = platform::Fingerprint(ours);
    platform::RemoveFile(beside);
    return true;
  }
  state.erase("web.config");
  if (read && theirs.find(HandlerName(mode)) != std::string::npos) {
    platform::RemoveFile(beside);
    return true;
  }
  if (!PutInPlace(ours, beside, later, error)) {
    told = error;
    return false;
  }
  told = config +
         " is the site's own: it is kept. Merge the <handlers> entry and <urlCompression> of " +
         beside + " into it";
  return true;
}

// The value of the attribute `name` in the tag that starts at `at`.
std::string Attribute(const std::string& text, std::size_t at, const std::string& name) {
  const std::size_t end = text.find('>', at);
  const std::size_t found = text.find(" " + name + "=\"", at);
  if (found == std::string::npos || found > end) return std::string();
  const std::size_t from = found + name.size() + 3;
  return text.substr(from, text.find('"', from) - from);
}

// `path` with the system's variables in it (%SystemDrive%) given their values.
std::string Expanded(std::string path) {
  for (std::size_t at = path.find('%'); at != std::string::npos; at = path.find('%', at)) {
    std::size_t end = path.find('%', at + 1);
    if (end == std::string::npos) break;
    std::string value = platform::GetEnvironment(path.substr(at + 1, end - at - 1));
    path.replace(at, end - at + 1, value);
    at += value.size();
  }
  return path;
}

// The site's path in IIS ("Default Web Site", "Kutubix/cgi-bin"), from the
// server's applicationHost.config: the site, application and virtual
// folder whose physical folder holds `folder` most closely. Empty where
// the file or such a folder is not there.
std::string IisPathOf(const std::string& folder) {
  std::string config;
  if (!platform::ReadWholeFile(
          platform::SystemFolder() + "\\inetsrv\\config\\applicationHost.config", config)) {
    return std::string();
  }
  std::string best, best_physical;
  for (std::size_t site = config.find("<site "); site != std::string::npos;
       site = config.find("<site ", site + 1)) {
    const std::string name = Attribute(config, site, "name");
    const std::size_t site_end = config.find("</site>", site);
    std::string application = "/";
    for (std::size_t at = config.find('<', site + 1); at != std::string::npos && at < site_end;
         at = config.find('<', at + 1)) {
      if (config.compare(at, 13, "<application ") == 0) application = Attribute(config, at, "path");
      if (config.compare(at, 18, "<virtualDirectory ") != 0) continue;
      const std::string physical = Expanded(Attribute(config, at, "physicalPath"));
      if (physical.empty() || !Within(folder, physical) || physical.size() <= best_physical.size())
        continue;
      std::string path = name;
      for (const std::string& part : {application, Attribute(config, at, "path")}) {
        if (part != "/") path += part;
      }
      std::string below = folder.substr(std::min(folder.size(), physical.size()));
      for (char& c : below) {
        if (c == '\\') c = '/';
      }
      if (!below.empty() && below[0] != '/') below.insert(0, "/");
      best = path + (below == "/" ? "" : below);
      best_physical = physical;
    }
  }
  return best;
}

// The lines that make what IIS keeps at the server's level (as an
// administrator, once per site; they work in PowerShell and in cmd).
std::string ServerLines(const std::string& site, const std::string& mode) {
  const std::string appcmd = platform::SystemFolder() + "\\inetsrv\\appcmd.exe";
  const std::string program = site + "\\enPanel.exe";
  if (mode == "fastcgi") {
    return "  " + appcmd + " set config -section:system.webServer/fastCgi /+\"[fullPath='" +
           program +
           "',maxInstances='4',instanceMaxRequests='100000',idleTimeout='300',"
           "activityTimeout='60',requestTimeout='90',stderrMode='IgnoreAndReturn200',"
           "signalBeforeTerminateSeconds='30',protocol='NamedPipe']\" /commit:apphost\n";
  }
  const std::string iis_path = IisPathOf(site);
  return "  " + appcmd +
         " set config -section:system.webServer/security/isapiCgiRestriction /+\"[path='" +
         program + "',description='enPanel',allowed='True']\" /commit:apphost\n" + "  " + appcmd +
         " set config \"" + (iis_path.empty() ? "SITE" : iis_path) +
         "\" -section:system.webServer/cgi /createProcessAsUser:\"False\" "
         "/timeout:\"00:01:00\" /commit:apphost\n" +
         (iis_path.empty() ? "  (SITE: the site's name in IIS, with the path to the folder when it "
                             "is not the site's root: no IIS site serves this folder yet)\n"
                           : "");
}

struct Wanted {
  std::string page, mode;
  bool is_new = false;
  bool recorded = false;  // laid out before (by this tool or an earlier one)
};

// The site's program, site check and web.config from the installation's
// folder, its choices kept in it, and its record.
bool LayOut(const std::string& own, const std::string& site, Wanted wanted, bool quiet_lines) {
  const std::string refusal = Refusal(site, own, wanted.is_new);
  if (!refusal.empty()) {
    Tell(site + ": " + refusal + "; nothing installed");
    return false;
  }
  platform::SiteLock turn(site, kTurnMs);
  if (!turn.Held()) {
    Tell(site + ": another run of enpanel-install-site is laying it out; nothing installed");
    return false;
  }
  RemoveLeftovers(site);
  bool trusted = true;
  State state = ReadState(site, &trusted);
  if (!trusted) {
    Tell(site + "\\" + kStateName + " is " + platform::kRefusedNameText +
         ": its settings cannot be trusted; remove it (then give --page and --mode again); "
         "nothing installed");
    return false;
  }
  if (wanted.page.empty()) wanted.page = state.count("page") != 0 ? state["page"] : "legacy";
  if (wanted.mode.empty()) wanted.mode = state.count("mode") != 0 ? state["mode"] : "cgi";
  const std::string program =
      wanted.page == "todays" ? own + "\\todays\\enPanel.exe" : own + "\\enPanel.exe";
  const std::string target = site + "\\enPanel.exe";
  std::string error, told;
  // The program the first run replaces is kept, once: one that is not
  // enPanel's own from this installation or an earlier one. It is read by
  // its one name only: the web account may have put a link there.
  std::string before, legacy, todays;
  const bool first = state.count("page") == 0 && !wanted.recorded;
  if (first && !platform::ReadFileOfOneName(target, before) &&
      platform::LastErrorCode() == platform::kRefusedName) {
    Tell(target + " is " + platform::kRefusedNameText +
         ": it is neither kept nor replaced; remove it, or put a program there; nothing "
         "installed");
    return false;
  }
  if (first && !before.empty() && platform::ReadWholeFile(own + "\\enPanel.exe", legacy) &&
      platform::ReadWholeFile(own + "\\todays\\enPanel.exe", todays) && before != legacy &&
      before != todays && !platform::PathExists(site + "\\" + kKeptName)) {
    bool later = false;
    if (!PutInPlace(before, site + "\\" + kKeptName, later, error)) {
      Tell(site + ": cannot keep the program that is there: " + error + "; nothing installed");
      return false;
    }
    state["before"] = kKeptName;
    told = "the program that was there is kept as " + site + "\\" + kKeptName +
           " (enpanel-install-site --restore --site DIR puts it back)";
  }
  bool later_program = false, later_check = false;
  if (!PutFileInPlace(program, target, later_program, error) ||
      !PutFileInPlace(own + "\\enPanel-check.exe", site + "\\enPanel-check.exe", later_check,
                      error)) {
    Tell(site + ": " + error);
    return false;
  }
  std::string config_told;
  if (!LayOutWebConfig(own, site, wanted.mode, state, config_told)) {
    Tell(site + ": the programs are installed, but not its web.config: " + config_told);
    return false;
  }
  state["server"] = "iis";
  state["page"] = wanted.page;
  state["mode"] = wanted.mode;
  if (!WriteState(site, state, error)) {
    Tell(site + ": installed, but its choices could not be kept in the site: " + error);
    return false;
  }
  if (!platform::RecordSite({site, wanted.page}, error)) {
    Tell(site + ": installed, but not recorded (a newer installer will not upgrade it): " + error);
    return false;
  }
  if (later_program || later_check) {
    Tell(site +
         ": enPanel.exe is in use and cannot be replaced now: the new program takes its "
         "place when the machine next starts (or run this again once nothing holds it)");
  }
  std::printf(
      "enpanel-install-site: %s: enPanel.exe (the page %s, %s) and enPanel-check.exe " ENPANEL_VERSION
      " installed; the site is recorded\n",
      site.c_str(), wanted.page.c_str(), wanted.mode == "fastcgi" ? "FastCGI" : "CGI");
  if (!told.empty()) std::printf("enpanel-install-site: %s\n", told.c_str());
  if (!config_told.empty()) std::printf("enpanel-install-site: %s\n", config_told.c_str());
  if (!quiet_lines) {
    std::printf("What IIS keeps at the server's level, as an administrator, once:\n%s",
                ServerLines(site, wanted.mode).c_str());
  }
  return true;
}

// The program the first run replaced, put back; enPanel's own files and
// the record go (a web.config the tool wrote too, as it wrote it).
bool Restore(const std::string& site) {
  platform::SiteLock turn(site, kTurnMs);
  if (!turn.Held()) {
    Tell(site + ": another run of enpanel-install-site is laying it out; nothing restored");
    return false;
  }
  const std::string kept = site + "\\" + kKeptName;
  State state = ReadState(site);
  std::string before, error;
  if (!platform::ReadFileOfOneName(kept, before)) {
    Tell(site + ": nothing to restore (" + kKeptName + ": " + WhyNot() + ")");
    return false;
  }
  bool later = false;
  if (!PutInPlace(before, site + "\\enPanel.exe", later, error)) {
    Tell(site + ": " + error);
    return false;
  }
  platform::RemoveFile(kept);
  platform::RemoveFile(site + "\\enPanel-check.exe");
  std::string ours, theirs;
  if (platform::ReadFileOfOneName(site + "\\web.config", theirs) &&
      state.count("web.config") != 0 && platform::Fingerprint(theirs) == state["web.config"]) {
    platform::RemoveFile(site + "\\web.config");
  }
  platform::RemoveFile(site + "\\web.config.enpanel-new");
  platform::RemoveFile(site + "\\" + kStateName);
  if (!platform::ForgetSite(site, error)) Tell(site + ": " + error);
  std::printf(
      "enpanel-install-site: %s: the program that was there before is back as "
      "enPanel.exe%s\n",
      site.c_str(), later ? " (when the machine next starts: it is in use now)" : "");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string site;
  Wanted wanted;
  bool upgrade = false, forget_all = false, keep = false, restore = false, forget = false,
       list = false, if_there = false;
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
    if (arg == "--site" || arg == "--page" || arg == "--mode") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage(arg + " needs a value");
      (arg == "--site" ? site : arg == "--page" ? wanted.page : wanted.mode) = argv[++i];
    } else if (arg == "--new") {
      wanted.is_new = true;
    } else if (arg == "--if-there") {
      if_there = true;
    } else if (arg == "--upgrade-recorded") {
      upgrade = true;
    } else if (arg == "--forget-recorded") {
      forget_all = true;
    } else if (arg == "--keep-recorded") {
      keep = true;
    } else if (arg == "--restore") {
      restore = true;
    } else if (arg == "--forget") {
      forget = true;
    } else if (arg == "--list") {
      list = true;
    } else {
      return Usage("unknown option " + arg);
    }
  }
  if (!wanted.page.empty() && wanted.page != "legacy" && wanted.page != "todays")
    return Usage(
        "--page: \"" + wanted.page +
        "\" is neither legacy (the page as it always was) nor todays (for today's browsers)");
  if (!wanted.mode.empty() && wanted.mode != "cgi" && wanted.mode != "fastcgi")
    return Usage("--mode: \"" + wanted.mode + "\" is neither cgi nor fastcgi");
  const bool chose = !wanted.page.empty() || !wanted.mode.empty() || wanted.is_new || if_there;
  const int alone = int(upgrade) + int(forget_all) + int(keep) + int(list);
  if (alone > 1 || (alone == 1 && (!site.empty() || chose || restore || forget)))
    return Usage(
        "--upgrade-recorded, --forget-recorded, --keep-recorded and --list take no other option");
  if ((restore || forget) && (site.empty() || chose || (restore && forget)))
    return Usage("--restore and --forget take --site DIR alone");
  if (alone == 0 && site.empty()) return Usage("--site DIR is needed");

  const std::string own = FolderOf(platform::ProgramFileName());
  std::string error;
  if (forget_all) {
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
    if (upgrade || list) return 1;
  }
  if (list) {
    // Each site: its folder, page, mode and program's version, and what
    // waits for the machine's next start there.
    for (const platform::SiteRecord& record : recorded) {
      State state = ReadState(record.folder);
      const std::string version = platform::FileVersion(record.folder + "\\enPanel.exe");
      std::string waiting;
      for (const char* name : {"enPanel.exe", "enPanel-check.exe"}) {
        if (platform::FileExists(PendingName(record.folder + "\\" + name))) {
          waiting.append(waiting.empty() ? "\t" : ", ").append(name);
        }
      }
      if (!waiting.empty()) waiting += " in use: the new one waits for the machine's next start";
      std::printf("%s\t%s\t%s\t%s%s\n", record.folder.c_str(),
                  state.count("page") != 0 ? state["page"].c_str() : record.page.c_str(),
                  state.count("mode") != 0 ? state["mode"].c_str() : "cgi",
                  version.empty() ? "(no version)" : version.c_str(), waiting.c_str());
    }
    return 0;
  }
  if (upgrade) {
    int status = 0;
    for (const platform::SiteRecord& record : recorded) {
      if (!platform::DirectoryExists(record.folder)) {
        Tell(record.folder + ": no such folder any more; its record is dropped");
        if (!platform::ForgetSite(record.folder, error)) Tell(error);
        continue;
      }
      // The site's own choices; the record's page where it has none yet.
      Wanted again;
      if (ReadState(record.folder).count("page") == 0) again.page = record.page;
      again.is_new = again.recorded = true;  // laid out before
      if (!LayOut(own, record.folder, again, true)) status = 1;
    }
    return status;
  }
  const std::string folder = platform::RecordedForm(site);
  if (folder.empty()) return Usage("--site " + site + ": not a path this system can use");
  if (forget) {
    if (!platform::ForgetSite(folder, error)) {
      Tell(error);
      return 1;
    }
    std::printf("enpanel-install-site: %s: no longer recorded (its programs stay)\n",
                folder.c_str());
    return 0;
  }
  if (restore) return Restore(folder) ? 0 : 1;
  if (if_there && !platform::PathExists(folder)) {
    Tell(folder + ": no such folder any more; nothing installed there");
    return 0;
  }
  const bool stated = ReadState(folder).count("page") != 0;
  for (const platform::SiteRecord& record : recorded) {
    if (Key(record.folder) != Key(folder)) continue;
    wanted.recorded = true;
    if (wanted.page.empty() && !stated) wanted.page = record.page;
  }
  return LayOut(own, folder, wanted, false) ? 0 : 1;
}
