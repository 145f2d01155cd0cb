#include "server/repeated_fault.h"

#include "platform/messages.h"

namespace server {
namespace {
// "(600 visits hit since the last line)", the visit told among them.
std::string Since(unsigned long visits, const char* more = "") {
  return " (" + std::to_string(visits) + (visits == 1 ? " visit" : " visits") +
         " hit since the last line" + more + ")";
}
}  // namespace

void RepeatedFault::Hit(const std::string& text, Clock::time_point now) {
  last_ = text;
  if (!on_) {
    on_ = true;
    untold_ = 0;
    told_at_ = now;
    platform::OperatorMessage(text);
    return;
  }
  ++untold_;
  if (now - told_at_ < kQuietFor) return;
  platform::OperatorMessage(text + Since(untold_));
  untold_ = 0;
  told_at_ = now;
}

void RepeatedFault::Ended(const std::string& again) {
  on_ = false;
  if (untold_ == 0) {
    platform::OperatorMessage(again);
    return;
  }
  platform::OperatorMessage(again + " (" + missed_ + " since the last line: " +
                            std::to_string(untold_) + (untold_ == 1 ? " visit)" : " visits)"));
  untold_ = 0;
}

void RepeatedFault::TellUntold() {
  if (!on_ || untold_ == 0) return;
  platform::OperatorMessage(last_ + Since(untold_, ", as the process ends"));
  untold_ = 0;
}

}  // namespace server
