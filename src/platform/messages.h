// Operator messages. A CGI program has no desktop, so what a desktop program
// would show in a message box goes to standard error as one line, and nothing
// ever waits for an answer.
#pragma once
#include <functional>
#include <string>

namespace platform {

// Writes `text` to standard error as one line: each CR LF, CR or LF inside
// becomes " | ".
void OperatorMessage(const std::string& text);

// The one-line form of `text` used by OperatorMessage (without the line end).
std::string OneLineMessage(const std::string& text);
// The whole line OperatorMessage writes: "enPanel: ", the one-line form, LF.
std::string OperatorLine(const std::string& text);

// How many messages were written since the process started: a caller tells
// whether a piece of work had anything to say.
unsigned long OperatorMessagesWritten();

// Tests route messages elsewhere; an empty function restores standard error.
void SetOperatorMessageSink(std::function<void(const std::string&)> sink);

}  // namespace platform
