// The application run: reads the request, dispatches it to the web module
// and writes the response, or the status-500 page when the dispatch fails.
// A CGI program handles the one request of its process. When the web server
// hands the program a FastCGI listener as its standard input, the same run
// serves request after request from it, one at a time, each as a whole CGI
// request, until the process is asked to end.
#pragma once
#include <memory>
#include <string>

#include "common/compression.h"
#include "frame/web_module.h"

namespace frame {

using ModuleFactory = std::unique_ptr<TWebModule> (*)();

// Registers the class the module is created from at dispatch.
void RegisterModuleClass(ModuleFactory factory);

// What runs before each request is read: the program's start-up steps.
using RequestStart = void (*)();
void SetRequestStart(RequestStart start);

// What runs once when the process turns out to be persistent (handed a
// FastCGI listener), before its first request.
using PersistentStart = void (*)();
void SetPersistentStart(PersistentStart start);
// Called once as a persistent process ends.
void SetPersistentEnd(PersistentStart end);

// Where a persistent process keeps its answers' compressed forms: those
// ready for a body. A FastCGI request whose Accept-Encoding prefers one of
// them is answered in it (with Content-Encoding and Vary: Accept-Encoding);
// any other answer, and every CGI answer, goes out as it is.
using KeptFormsOf = common::CompressedForms (*)(std::string_view content);
void SetKeptForms(KeptFormsOf forms);

// Handles the process's requests. Returns the process exit code.
int RunApplication();

}  // namespace frame
