// enPanel: the English search-options page. This file alone wires the
// program together: what the process takes once when it starts, the web
// module with its one action, and what the frame does before each request
// (a CGI process has one; a persistent process one after another, keeping
// the page between them while nothing it was built from changes).
#include "frame/application.h"
#include "frame/web_module.h"
#include "page/kept_page.h"
#include "page/options_handler.h"
#include "program/process_state.h"
#include "version.h"

// Which release a site runs, for the operator who asks its file
// (grep -a '@(#)enPanel' enPanel): kept in the program though nothing reads it.
#if defined(__ELF__)
#define ENPANEL_KEEP [[gnu::used, gnu::retain]]
#else
#define ENPANEL_KEEP [[gnu::used]]
#endif
extern "C" ENPANEL_KEEP const char enpanel_release[] = "@(#)enPanel " ENPANEL_VERSION;

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
  program::StartProcess();
  frame::RegisterModuleClass(&NewEngineModule);
  frame::SetRequestStart(&program::StartRequest);
  frame::SetPersistentStart(&program::StartPersistent);
  frame::SetPersistentEnd(&program::EndPersistent);
  frame::SetKeptForms(&page::KeptForms);
  program::ConfineProcess();
  return frame::RunApplication();
}
