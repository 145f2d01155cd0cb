#include "frame/application.h"

#include <cstdio>
#include <exception>

#include "frame/errors.h"
#include "platform/console.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/priority.h"
#include "server/site_paths.h"

namespace frame {
namespace {

ModuleFactory g_module_class = nullptr;

std::unique_ptr<TWebModule> NewEngineModule() { return std::make_unique<TDoEngineActionModule>(); }

void HandleRequest(TCGIRequest& request, TCGIResponse& response) {
  if (g_module_class == nullptr) throw Exception("No data modules registered");
  std::unique_ptr<TWebModule> module = g_module_class();
  if (!module || !module->IsDispatcher()) {
    throw Exception("No dispatcher component found on data module");
  }
  // The handler lowers its own priority; the response is written after it.
  bool handled = false;
  std::exception_ptr failure;
  platform::RunWithOwnPriority([&] {
    try {
      handled = module->DispatchRequest(request, response);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  if (handled && !response.Sent()) {
    if (!response.SendResponse()) throw InOutError(0, "Error writing to standard output");
  }
}

}  // namespace

void RegisterModuleClass(ModuleFactory factory) { g_module_class = factory; }

int RunApplication() {
  if (!platform::SetBinaryStdio()) {
    std::fputs("enPanel: cannot open standard input and output\n", stderr);
    return 1;
  }
  std::string failure_class, failure_message;
  try {
    TCGIRequest request;
    TCGIResponse response(request);
    HandleRequest(request, response);
    return 0;
  } catch (const std::exception& e) {
    failure_class = ExceptionClassName(e);
    failure_message = e.what();
  } catch (...) {
    failure_class = "Exception";
    failure_message = "Unknown exception";
  }
  return platform::WriteStdout(ErrorResponse(failure_class, failure_message)) ? 0 : 1;
}

int ProcessEntry() {
  platform::TuneAllocatorForShortRun();
  // An operator (or a test) may put the drive root of rooted paths elsewhere.
  platform::SetDriveRoot(platform::GetEnvironment("ENPANEL_DRIVE_ROOT"));
  server::InitSitePaths();
  RegisterModuleClass(&NewEngineModule);
  return RunApplication();
}

}  // namespace frame
