// Every value that lives as long as the process, in one list, and the one
// way to put them back as a new process finds them.
//
// A CGI process handles one request and ends; a persistent (FastCGI) process
// handles one after another. So that nothing of one request reaches the
// next, every request begins with StartRequest(): main() has the frame call
// it before each request, in both modes, and the tests call it before each
// request they run in their own process.
//
// The values, by layer. "Kept": set once when the process starts and the
// same for every request. "Request": put back by StartRequest().
//
// platform
//   DriveRoot()                    kept: the folder that rooted paths resolve
//                                  in (ENPANEL_DRIVE_ROOT)
//   folder listings (POSIX)        request: kept from an earlier request only
//                                  while the folder is shown unchanged
//   letter-case answers (POSIX)    request: forgotten
//   LastErrorCode()                request: 0
//   operator message sink          kept: standard error; the persistent loop
//                                  sends each request's lines with its answer
//   temporary-name counters        kept: they only count up, so names stay unique
//   fault seam, file clock,        tests only
//   statistics clock
// common
//   PageText                       request: empty
//   RequestedPriority              request: 32 (normal)
// catalogue
//   FileCode, TextMapKind,         request: not built (the handler builds it)
//   Published, CatalogueBuilt,
//   the code lookup table
//   S_Rec, MaxAreaRows             request: the nine areas, no rows (InitAreas)
//   BookHeaders                    request: 371 empty records
// server
//   program file name              kept: read once when the process starts (a
//                                  program file replaced later has another)
//   _WebPath, StatPath, ZafkarPath request: from the program file name, the
//   TXTPath, IDXPath               statistics folder made when missing
//                                  (InitSitePaths); the scan may move TXTPath
//                                  and IDXPath to the default folders
//   TxtOnWeb, IdxOnWeb, Ix3OnWeb,  request: cleared
//   CanUseFile, TotFilesOnWeb
//   ProgName, RemoteAddr, HostName, request: empty, no session started
//   DayStamp, CounterFile, LogFile,
//   SessionFile, OldBrowsePattern,
//   the session's start and marker
//   the running sessions' markers  kept (persistent process): their names,
//                                  brought up to date from change notices
//   the failures visits met there  kept: what was told of each and how many
//                                  visits it hit since (repeated_fault.h)
// page
//   F_Rec, InitFailed              request: empty, false
//   the kept page                  kept (persistent process): until a notice
//                                  shows a change where it was built from
// frame
//   the module class               kept: registered once by main()
#pragma once
#include <string>

namespace program {

// Once, when the process starts: the drive root from the environment, the
// program's own file name, the allocator's settings.
void StartProcess();
// The same with the program file name given (tests).
void StartProcess(const std::string& program_file);

// Once it has all it needs from the system (after StartProcess): the
// process confines itself for good (platform/confinement.h); where the
// system refuses, the operator is told and the program goes on.
void ConfineProcess();

// Every "request" value above as a new process has it.
void ResetRequestState();

// Before every request: ResetRequestState(), then the start-up steps in
// their order: the site folders and the statistics folder from the program
// file name, then the subject areas.
void StartRequest();

// Once, when the process turns out to be persistent: from now on it keeps
// its page and the running sessions' markers between requests.
void StartPersistent();

// Once, as a persistent process ends: what it has not yet told.
void EndPersistent();

// The program file name StartProcess() took.
const std::string& ProgramFile();

}  // namespace program
