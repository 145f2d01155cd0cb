// The sites an installation serves, for the Windows installer's tool
// (enpanel-install-site.exe): each site folder with the page it was given,
// kept under HKLM\SOFTWARE\enPanel\Sites (a value per site: its folder as
// the name, the page as the data), so that a newer installer can give
// every site the new program with the page it had. Windows only: the
// Debian package's kit keeps its own list.
#pragma once
#include <string>
#include <vector>

namespace platform {

struct SiteRecord {
  std::string folder;  // full path, no separator at the end
  std::string page;    // "legacy" or "todays"
};

// The recorded sites, in the order the registry gives them; empty when none
// are recorded (or they cannot be read: `error` then holds why).
std::vector<SiteRecord> RecordedSites(std::string& error);

// Records the site (or its new page). False with `error` on failure.
bool RecordSite(const SiteRecord& site, std::string& error);

// Removes every record (the installation is going; its sites stay). Those
// kept aside for a newer installation stay for it. The product's key goes
// too once nothing is left in it.
bool ForgetRecordedSites(std::string& error);

// Removes the record of one site (none there is no failure).
bool ForgetSite(const std::string& folder, std::string& error);

// A copy of the records kept aside (HKLM\SOFTWARE\enPanel\SitesKept) while
// an earlier installation is removed for a newer one, and taken back (the
// copy then removed) once the newer one's files are in place.
bool KeepRecordsAside(std::string& error);
bool TakeBackKeptRecords(std::string& error);

}  // namespace platform

namespace platform {

// `folder` as a record holds it: a full path (from the current folder),
// without a separator at the end; empty when the system cannot tell.
std::string RecordedForm(const std::string& folder);

// Held while one run of the tool lays out a site: a run on the same folder
// (any letter case) waits until it is let go, or until `wait_ms` passed
// (Held() then false). A named mutex of the machine's: a run that dies lets
// it go too.
class SiteLock {
 public:
  SiteLock(const std::string& folder, unsigned long wait_ms);
  ~SiteLock();
  SiteLock(const SiteLock&) = delete;
  SiteLock& operator=(const SiteLock&) = delete;
  bool Held() const { return held_; }

 private:
  void* mutex_ = nullptr;
  bool held_ = false;
};

// The system's Windows folder and its system folder (C:\Windows,
// C:\Windows\System32), as the system names them; empty when it does not.
std::string WindowsFolder();
std::string SystemFolder();

// The version a program's version resource carries ("1.0.1"; a fourth
// number only where it is not 0); empty where it carries none.
std::string FileVersion(const std::string& path);

// A short fingerprint of `bytes` (FNV-1a, 64 bits, as 16 hexadecimal
// digits), to know them again.
std::string Fingerprint(const std::string& bytes);

// A number of this run's own, for names no other run takes.
unsigned long RunNumber();

// `from` put in `to`'s place (or, `to` empty, removed) when the machine
// next starts: for a file in use now. False when the system refuses.
bool ReplaceAtRestart(const std::string& from, const std::string& to);

}  // namespace platform
