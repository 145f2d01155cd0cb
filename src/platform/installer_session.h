// The Windows installer's session, for an action of the installer's own (a
// DLL it loads): what the installer gave the action, lines into the
// installer's log, and a program run with each line it writes handed on.
// Windows only: the Debian package's maintainer scripts need none of it.
#pragma once
#include <functional>
#include <string>

namespace platform {

// What the installer set for this (deferred) action: its CustomActionData.
std::string ActionData(unsigned long session);

// `line` into the installer's log (msiexec /l*v); a `warning` is also
// shown to an operator who watches the installation (none under /qn).
void ToInstallerLog(unsigned long session, const std::string& line, bool warning);

// Runs `command_line` without a window, handing `line` each line it writes
// on its standard output and error as it comes. Its exit status, or -1 with
// `error` when it cannot be started.
int RunWithLines(const std::string& command_line,
                 const std::function<void(const std::string&)>& line, std::string& error);

}  // namespace platform
