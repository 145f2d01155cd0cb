// The CGI application: reads the request, dispatches it to the web module and
// writes the response, or the status-500 page when the dispatch fails.
#pragma once
#include <memory>

#include "frame/web_module.h"

namespace frame {

using ModuleFactory = std::unique_ptr<TWebModule> (*)();

// Registers the class the module is created from at dispatch.
void RegisterModuleClass(ModuleFactory factory);

// What runs before each request is read: the program's start-up steps.
using RequestStart = void (*)();
void SetRequestStart(RequestStart start);

// Handles the one request of this process. Returns the process exit code.
int RunApplication();

}  // namespace frame
