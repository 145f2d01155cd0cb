#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/site_records.h"

namespace platform {
namespace {

constexpr const char* kProductKey = "SOFTWARE\\enPanel";
constexpr const char* kSitesKey = "SOFTWARE\\enPanel\\Sites";
constexpr const char* kKeptKey = "SOFTWARE\\enPanel\\SitesKept";
// The 64-bit view whatever the tool is built as: the installer writes there.
constexpr REGSAM kView = KEY_WOW64_64KEY;

std::string Why(const char* what, LONG code, const char* key = kSitesKey) {
  char text[512] = {};
  DWORD size = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (size > 0 && (text[size - 1] == '\r' || text[size - 1] == '\n' || text[size - 1] == '.'))
    text[--size] = '\0';
  return std::string(what) + " HKLM\\" + key + ": error " + std::to_string(code) + ": " + text;
}

std::vector<SiteRecord> ReadRecords(const char* where, std::string& error) {
  std::vector<SiteRecord> sites;
  HKEY key = nullptr;
  LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, where, 0, KEY_READ | kView, &key);
  if (code == ERROR_FILE_NOT_FOUND) return sites;
  if (code != ERROR_SUCCESS) {
    error = Why("cannot read", code, where);
    return sites;
  }
  for (DWORD i = 0;; ++i) {
    char name[32768];
    char data[64];
    DWORD name_size = sizeof name, data_size = sizeof data - 1, type = 0;
    code = RegEnumValueA(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &data_size);
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code != ERROR_SUCCESS) {
      error = Why("cannot read", code, where);
      break;
    }
    if (type != REG_SZ) continue;
    data[data_size] = '\0';
    std::string page(data);
    while (!page.empty() && page.back() == '\0') page.pop_back();
    sites.push_back({std::string(name, name_size), page});
  }
  RegCloseKey(key);
  return sites;
}

bool WriteRecord(const char* where, const SiteRecord& site, std::string& error) {
  HKEY key = nullptr;
  LONG code = RegCreateKeyExA(HKEY_LOCAL_MACHINE, where, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE | kView, nullptr, &key, nullptr);
  if (code != ERROR_SUCCESS) {
    error = Why("cannot write", code, where);
    return false;
  }
  code = RegSetValueExA(key, site.folder.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(site.page.c_str()),
                        static_cast<DWORD>(site.page.size() + 1));
  RegCloseKey(key);
  if (code != ERROR_SUCCESS) error = Why("cannot write", code, where);
  return code == ERROR_SUCCESS;
}

// Removes the key `name` under the product's key (with its values), and
// the product's key when nothing is left in it.
bool RemoveRecords(const char* name, std::string& error) {
  HKEY product = nullptr;
  LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, KEY_ALL_ACCESS | kView, &product);
  if (code == ERROR_FILE_NOT_FOUND) return true;
  if (code == ERROR_SUCCESS) {
    code = RegDeleteKeyExA(product, name, kView, 0);
    DWORD subkeys = 1, values = 1;
    bool empty = RegQueryInfoKeyA(product, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                  &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                 subkeys == 0 && values == 0;
    RegCloseKey(product);
    if (empty) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kProductKey, kView, 0);
  }
  if (code == ERROR_FILE_NOT_FOUND) return true;
  if (code != ERROR_SUCCESS)
    error = Why("cannot remove", code, (std::string(kProductKey) + "\\" + name).c_str());
  return code == ERROR_SUCCESS;
}

}  // namespace

std::vector<SiteRecord> RecordedSites(std::string& error) { return ReadRecords(kSitesKey, error); }

bool RecordSite(const SiteRecord& site, std::string& error) {
  return WriteRecord(kSitesKey, site, error);
}

bool ForgetRecordedSites(std::string& error) { return RemoveRecords("Sites", error); }

bool ForgetSite(const std::string& folder, std::string& error) {
  HKEY key = nullptr;
  LONG code = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSitesKey, 0, KEY_SET_VALUE | kView, &key);
  if (code == ERROR_FILE_NOT_FOUND) return true;
  if (code == ERROR_SUCCESS) {
    code = RegDeleteValueA(key, folder.c_str());
    RegCloseKey(key);
  }
  if (code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) return true;
  error = Why("cannot remove a value of", code);
  return false;
}

bool KeepRecordsAside(std::string& error) {
  for (const SiteRecord& site : ReadRecords(kSitesKey, error)) {
    if (!WriteRecord(kKeptKey, site, error)) return false;
  }
  return error.empty();
}

bool TakeBackKeptRecords(std::string& error) {
  for (const SiteRecord& site : ReadRecords(kKeptKey, error)) {
    if (!WriteRecord(kSitesKey, site, error)) return false;
  }
  return error.empty() && RemoveRecords("SitesKept", error);
}

}  // namespace platform

namespace platform {

std::string RecordedForm(const std::string& folder) {
  char full[MAX_PATH * 4];
  DWORD size = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (size == 0 || size >= sizeof full) return std::string();
  std::string path(full, size);
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

SiteLock::SiteLock(const std::string& folder, unsigned long wait_ms) {
  // A mutex's name holds no backslash past its namespace: the folder's
  // key (one spelling for every letter case) as a fingerprint.
  const std::string name = "Global\\enPanel-site-" + Fingerprint(FolderKey(folder));
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return;
  mutex_ = mutex;
  DWORD waited = WaitForSingleObject(mutex, wait_ms);
  held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

SiteLock::~SiteLock() {
  if (mutex_ == nullptr) return;
  if (held_) ReleaseMutex(static_cast<HANDLE>(mutex_));
  CloseHandle(static_cast<HANDLE>(mutex_));
}

std::string WindowsFolder() {
  char path[MAX_PATH];
  UINT size = GetWindowsDirectoryA(path, sizeof path);
  return size == 0 || size >= sizeof path ? std::string() : std::string(path, size);
}

std::string SystemFolder() {
  char path[MAX_PATH];
  UINT size = GetSystemDirectoryA(path, sizeof path);
  return size == 0 || size >= sizeof path ? std::string() : std::string(path, size);
}

std::string Fingerprint(const std::string& bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string FileVersion(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed == nullptr || length < sizeof *fixed) {
    return std::string();
  }
  std::string text = std::to_string(HIWORD(fixed->dwFileVersionMS));
  for (DWORD part : {LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS)}) {
    text.append(".").append(std::to_string(part));
  }
  if (LOWORD(fixed->dwFileVersionLS) != 0) {
    text.append(".").append(std::to_string(LOWORD(fixed->dwFileVersionLS)));
  }
  return text;
}

unsigned long RunNumber() { return GetCurrentProcessId(); }

bool ReplaceAtRestart(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.empty() ? nullptr : to.c_str(),
                     MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING)) !=
         0;
}

}  // namespace platform
