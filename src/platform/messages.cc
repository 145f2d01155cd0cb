#include "platform/messages.h"

#include <cstdio>

#include "platform/event_log.h"

namespace platform {
namespace {
unsigned long g_written = 0;

std::function<void(const std::string&)>& Sink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}
}  // namespace

std::string OneLineMessage(const std::string& text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += " | ";
    } else {
      line += c;
    }
  }
  return line;
}

std::string OperatorLine(const std::string& text) {
  return "enPanel: " + OneLineMessage(text) + "\n";
}

void OperatorMessage(const std::string& text) {
  ++g_written;
  ToSystemLog(OneLineMessage(text));
  if (Sink()) {
    Sink()(text);
    return;
  }
  std::string line = OperatorLine(text);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

unsigned long OperatorMessagesWritten() { return g_written; }

void SetOperatorMessageSink(std::function<void(const std::string&)> sink) {
  Sink() = std::move(sink);
}

}  // namespace platform
