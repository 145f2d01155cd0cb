// enPanel: the English search-options page, one CGI request per process.
// This file alone wires the program together: the start-up steps in their
// order, then the web module with its one action, then the request.
#include "catalogue/areas.h"
#include "frame/application.h"
#include "frame/web_module.h"
#include "page/options_handler.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "server/site_paths.h"

namespace {

void OnDoEngineAction1(frame::TWebModule& /*sender*/, frame::TCGIRequest& request,
                       frame::TCGIResponse& response, bool& handled) {
  page::DoEngineAction1(request, response, handled);
}

std::unique_ptr<frame::TWebModule> NewEngineModule() {
  return std::make_unique<frame::TDoEngineActionModule>(&OnDoEngineAction1);
}

}  // namespace

int main() {
  platform::TuneAllocatorForShortRun();
  // An operator (or a test) may put the drive root of rooted paths elsewhere.
  platform::SetDriveRoot(platform::GetEnvironment("ENPANEL_DRIVE_ROOT"));
  // The site folders and the statistics folder, then the subject areas.
  server::InitSitePaths();
  catalogue::InitAreas();
  frame::RegisterModuleClass(&NewEngineModule);
  return frame::RunApplication();
}
