#include <windows.h>

#include <string>

#include "platform/event_log.h"

namespace platform {

void ToSystemLog(const std::string& line) {
  // Opened once for the process; a source nobody registered still logs (the
  // Event Viewer then lacks the message file that shows the line).
  static HANDLE source = RegisterEventSourceA(nullptr, kEventSource);
  if (source == nullptr || line.empty()) return;
  int length = MultiByteToWideChar(1256, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(1256, 0, line.data(), static_cast<int>(line.size()), wide.data(), length);
  const wchar_t* strings[] = {wide.c_str()};
  ReportEventW(source, EVENTLOG_WARNING_TYPE, 0, kOperatorLineEvent, nullptr, 1, 0, strings,
               nullptr);
}

}  // namespace platform
