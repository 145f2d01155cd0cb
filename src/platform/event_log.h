// The system's own log for the operator's lines. On Windows the web server
// keeps no program's error stream (IIS drops a CGI program's, and a FastCGI
// program's lines too unless they fail the request), so every operator line
// also goes to the Application event log, source "enPanel", as event 1,
// whose message (in the program's own message table) is the line itself.
// Elsewhere the web server's error log has the line, and nothing more is
// written.
#pragma once
#include <string>

namespace platform {

// The name of the event source, and the event every line is.
constexpr const char* kEventSource = "enPanel";
constexpr unsigned long kOperatorLineEvent = 1;

// Writes `line` (Windows-1256, one line) to the system's log where it has one
// for programs; a failure to do so is passed over.
void ToSystemLog(const std::string& line);

}  // namespace platform
