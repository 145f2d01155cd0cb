// enpanel-install-action.dll: the installer's action that runs
// enpanel-install-site.exe, as the command line the installer gives it (the
// tool's path and its options), and puts each line the tool writes into
// the installer's log. What the tool did to each site, and each site it
// could not give the new program, stands where the operator reads the
// installation (msiexec /l*v). A site the tool could not lay out fails the
// installation, after a warning saying what to do; one whose program is in
// use gets the new program at the machine's next start, and the log says so.
#include <string>

#include "platform/installer_session.h"

extern "C" __declspec(dllexport) unsigned int __stdcall RunSiteTool(unsigned long session) {
  const std::string command = platform::ActionData(session);
  std::string error;
  const int status = platform::RunWithLines(
      command,
      [session](const std::string& line) { platform::ToInstallerLog(session, line, false); },
      error);
  if (status == 0) return 0;
  platform::ToInstallerLog(
      session,
      status < 0 ? "enPanel: cannot run " + command + ": " + error
                 : "enPanel: the sites named above could not be given this installation's "
                   "programs. Mend what the lines say, or take a site off the list with "
                   "enpanel-install-site.exe --forget --site DIR, and run the installer again.",
      true);
  return 1603;  // ERROR_INSTALL_FAILURE: the installation fails, and is rolled back
}
