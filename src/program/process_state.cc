#include "program/process_state.h"

#include "catalogue/areas.h"
#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "common/process_priority.h"
#include "page/kept_page.h"
#include "page/options_handler.h"
#include "platform/confinement.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/messages.h"
#include "platform/priority.h"
#include "platform/program.h"
#include "server/file_scan.h"
#include "server/site_paths.h"
#include "server/statistics.h"

namespace program {
namespace {
std::string g_program_file;
// Whether a request has started since the process did. Before the first
// one every value stands as the process started it, so the first request
// of a process (a CGI process's only one) need not put anything back.
bool g_request_started = false;
}  // namespace

void StartProcess(const std::string& program_file) {
  platform::TuneAllocator();
  g_program_file = program_file;
}

void StartProcess() {
  // An operator (or a test) may put the drive root of rooted paths elsewhere;
  // the program's own name is then read relative to it.
  platform::SetDriveRoot(platform::GetEnvironment("ENPANEL_DRIVE_ROOT"));
  StartProcess(platform::ProgramFileName());
}

void ConfineProcess() {
  std::string error;
  if (!platform::ConfineProcess(error)) {
    platform::OperatorMessage("The program runs unconfined: " + error);
  }
}

void StartPersistent() {
  page::KeepPagesFromNowOn();
  server::KeepSessionMarkersFromNowOn();
}

void EndPersistent() { server::TellUntoldStatisticsFaults(); }

const std::string& ProgramFile() { return g_program_file; }

void ResetRequestState() {
  platform::BeginRequest();
  platform::SetLastErrorCode(0);
  common::PageText.clear();
  common::RequestedPriority = platform::kNormalPriorityClass;
  catalogue::ResetCatalogue();
  catalogue::ResetBookHeaders();
  server::ResetScan();
  server::ResetStatistics();
  page::ResetRowLists();
}

void StartRequest() {
  if (g_request_started) ResetRequestState();
  g_request_started = true;
  // The start-up steps, in their order.
  server::InitSitePaths(g_program_file);
  catalogue::InitAreas();
}

}  // namespace program
