#include <windows.h>
// clang-format off
#include <msi.h>
#include <msiquery.h>
// clang-format on

#include "platform/files.h"
#include "platform/installer_session.h"

namespace platform {

std::string ActionData(unsigned long session) {
  char empty[1] = "";
  DWORD size = 0;
  if (MsiGetPropertyA(session, "CustomActionData", empty, &size) != ERROR_MORE_DATA) return "";
  std::string data(size + 1, '\0');
  ++size;
  if (MsiGetPropertyA(session, "CustomActionData", data.data(), &size) != ERROR_SUCCESS) return "";
  data.resize(size);
  return data;
}

void ToInstallerLog(unsigned long session, const std::string& line, bool warning) {
  MSIHANDLE record = MsiCreateRecord(0);
  if (record == 0) return;
  // The line is the message's template: its brackets escaped, so that the
  // installer reads none of it as a property's name.
  std::string text;
  text.reserve(line.size());
  for (char c : line) {
    if (c == '[') {
      text += "[\\[]";
    } else if (c == ']') {
      text += "[\\]]";
    } else {
      text += c;
    }
  }
  MsiRecordSetStringA(record, 0, text.c_str());
  // A warning goes into the log as well.
  MsiProcessMessage(
      session,
      warning ? static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_WARNING | MB_OK) : INSTALLMESSAGE_INFO,
      record);
  MsiCloseHandle(record);
}

int RunWithLines(const std::string& command_line,
                 const std::function<void(const std::string&)>& line, std::string& error) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) {
    error = SystemErrorText(static_cast<int>(GetLastError()));
    return -1;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                               OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = nothing;
  start.hStdOutput = write_end;
  start.hStdError = write_end;
  PROCESS_INFORMATION process{};
  std::string writable = command_line;
  const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &start, &process);
  const DWORD why = GetLastError();
  // Only the child holds the write end now: its end is the pipe's end.
  CloseHandle(write_end);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (!started) {
    CloseHandle(read_end);
    error = SystemErrorText(static_cast<int>(why));
    return -1;
  }
  std::string pending;
  char buffer[4096];
  DWORD got = 0;
  auto hand_on = [&](std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    if (!text.empty()) line(text);
  };
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    std::size_t from = 0;
    for (std::size_t end = pending.find('\n'); end != std::string::npos;
         end = pending.find('\n', from)) {
      hand_on(pending.substr(from, end - from));
      from = end + 1;
    }
    pending.erase(0, from);
  }
  hand_on(pending);
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

}  // namespace platform
