// A failure that may come at every visit (a visit not counted, no log line,
// no marker), told to the operator without flooding the log of a process
// that serves many visits: the first time as it is, then at most once a
// minute with how many visits it hit since the last line, and once when a
// visit gets past it again. A process that serves one visit tells what it
// told before.
#pragma once
#include <chrono>
#include <string>

namespace server {

class RepeatedFault {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kQuietFor = std::chrono::minutes(1);

  // `missed`: what the visits it hits lack, as the ending line names them
  // ("not counted").
  explicit RepeatedFault(std::string missed) : missed_(std::move(missed)) {}

  // A visit it hit; `text` is the line that tells of it.
  void Hit(const std::string& text, Clock::time_point now = Clock::now());
  // A visit that got past it; `again()` gives the line that says so
  // ("Visits counted again in ..."), asked only while the failure is on.
  template <typename Again>
  void Passed(const Again& again) {
    if (on_) Ended(again());
  }
  // The count of the visits it hit since its last line, as the process ends.
  void TellUntold();
  // As a new process has it.
  void Forget() { on_ = false, untold_ = 0; }

 private:
  void Ended(const std::string& again);
  std::string missed_;
  bool on_ = false;
  unsigned long untold_ = 0;
  Clock::time_point told_at_;
  std::string last_;
};

}  // namespace server
