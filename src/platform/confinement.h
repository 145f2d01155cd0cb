// The program confines itself once it holds what it needs: it can then no
// longer do what it never does, whatever its input turns it to.
//
// Linux: no new privileges (no program it could start would gain any), and
// a system-call filter of its own that refuses starting programs, making
// processes (threads stay allowed), making, binding or connecting sockets
// (connections taken from the listener it was handed stay allowed),
// tracing or reading other processes, mounting, namespaces, loading kernel
// modules or filters, keys, changing accounts, the clock or the host's
// names. A refused call fails with EPERM, as a call the code already checks
// can fail, and the operator gets one line naming it; nothing is killed.
// Windows: the process mitigation policies that fit (no child processes,
// no dynamic code, strict handle checks, no images from remote places).
#pragma once
#include <string>

namespace platform {

// Confines the process from now on, for good. False, with `error` saying
// what could not be set, where the system refused (the program goes on
// unconfined and says so).
bool ConfineProcess(std::string& error);

}  // namespace platform
