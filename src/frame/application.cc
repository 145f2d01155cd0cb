#include "frame/application.h"

#include <cstdio>
#include <exception>

#include "common/errors.h"
#include "platform/console.h"

namespace frame {
namespace {

ModuleFactory g_module_class = nullptr;
RequestStart g_request_start = nullptr;

void HandleRequest(TCGIRequest& request, TCGIResponse& response) {
  if (g_module_class == nullptr) throw common::Exception("No data modules registered");
  std::unique_ptr<TWebModule> module = g_module_class();
  if (!module || !module->IsDispatcher()) {
    throw common::Exception("No dispatcher component found on data module");
  }
  bool handled = module->DispatchRequest(request, response);
  if (handled && !response.Sent()) {
    if (!response.SendResponse()) throw common::InOutError(0, "Error writing to standard output");
  }
}

}  // namespace

void RegisterModuleClass(ModuleFactory factory) { g_module_class = factory; }
void SetRequestStart(RequestStart start) { g_request_start = start; }

int RunApplication() {
  if (g_request_start != nullptr) g_request_start();
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
    failure_class = common::ExceptionClassName(e);
    failure_message = e.what();
  } catch (...) {
    failure_class = "Exception";
    failure_message = "Unknown exception";
  }
  return platform::WriteStdout(ErrorResponse(failure_class, failure_message)) ? 0 : 1;
}

}  // namespace frame
