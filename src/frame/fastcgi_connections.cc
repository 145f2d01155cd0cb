#include "frame/fastcgi_connections.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace frame::fastcgi {
namespace {

using platform::IoResult;
using Clock = Session::Clock;

// One open connection and what has come on it.
struct Open {
  explicit Open(const Limits& limits) : stream(connection), session(stream, limits) {}
  platform::Connection connection;
  ConnectionStream stream;
  Session session;
  std::uint64_t whole_order = 0;  // when its request became whole
};

class Connections {
 public:
  Connections(const Serve& serve, const Limits& limits) : serve_(serve), limits_(limits) {}

  bool Run(std::string& error) {
    for (;;) {
      if (AnswerNext()) continue;
      bool ending = platform::ShutdownRequested();
      if (ending) {
        // Asked to end: the requests under way are answered, idle
        // connections are closed (a request waiting unread on one is read
        // first, and answered) and no new one is taken.
        for (auto it = open_.begin(); it != open_.end();) {
          it = (*it)->session.InRequest() ? std::next(it) : ReadOrClose(it);
        }
        if (open_.empty()) return true;
        if (AnswerNext()) continue;
      }
      std::vector<const platform::Connection*> waiting;
      waiting.reserve(open_.size());
      for (const auto& o : open_)
        waiting.push_back(o->session.HasWhole() ? nullptr : &o->connection);
      std::vector<bool> ready;
      bool listener_ready = false;
      const bool take_new = open_.size() < kMaxOpenConnections;
      IoResult waited =
          platform::WaitForAny(waiting, ready, listener_ready, TimeoutMs(), take_new, ending);
      if (waited == IoResult::kShutdown) continue;
      if (waited == IoResult::kBroken) {
        error = "waiting for the web server failed";
        return false;
      }
      std::size_t i = 0;
      for (auto it = open_.begin(); it != open_.end(); ++i) {
        bool got = false;
        it = ready[i] ? ReadFrom(it, got) : std::next(it);
      }
      if (listener_ready && take_new && !TakeOne(error)) return false;
      CloseExpired();
    }
  }

 private:
  using Iterator = std::list<std::unique_ptr<Open>>::iterator;

  // Answers the request that became whole first; false when none is.
  bool AnswerNext() {
    auto first = open_.end();
    for (auto it = open_.begin(); it != open_.end(); ++it) {
      if ((*it)->session.HasWhole() &&
          (first == open_.end() || (*it)->whole_order < (*first)->whole_order)) {
        first = it;
      }
    }
    if (first == open_.end()) return false;
    if ((*first)->session.AnswerWhole(serve_)) {
      open_.erase(first);
    } else {
      Touch(first);
    }
    return true;
  }

  // What a connection has: read and fed without waiting; `got` tells
  // whether anything came.
  Iterator ReadFrom(Iterator it, bool& got_bytes) {
    char chunk[65536];
    std::size_t got = 0;
    Open& o = **it;
    got_bytes = false;
    IoResult read = o.connection.Read(chunk, sizeof chunk, got, false, 0);
    if (read == IoResult::kTimedOut) return std::next(it);  // woken for nothing
    got_bytes = true;
    if (read != IoResult::kDone || o.session.Feed(std::string_view(chunk, got))) {
      return open_.erase(it);
    }
    Touch(it);
    return std::next(it);
  }

  // A connection about to be closed for silence or for the process's end:
  // bytes waiting on it are read first, and it stays when they came.
  Iterator ReadOrClose(Iterator it) {
    bool got = false;
    Iterator next = ReadFrom(it, got);
    return got ? next : open_.erase(it);
  }

  // A connection whose request became whole gets its turn.
  void Touch(Iterator it) {
    Open& o = **it;
    if (o.session.HasWhole() && o.whole_order == 0) o.whole_order = ++wholes_;
    if (!o.session.HasWhole()) o.whole_order = 0;
  }

  // One connection waiting on the listener, taken, and what it has already
  // sent read. One at a time: whatever else waits stays in the listener's
  // queue until this process is free again, or a sibling takes it.
  bool TakeOne(std::string& error) {
    auto o = std::make_unique<Open>(limits_);
    IoResult taken = platform::TakeConnection(o->connection, error);
    if (taken == IoResult::kBroken) return false;
    if (taken != IoResult::kDone) return true;
    open_.push_back(std::move(o));
    bool got = false;
    ReadFrom(std::prev(open_.end()), got);
    return true;
  }

  int TimeoutMs() const {
    if (open_.empty()) return -1;
    Clock::time_point now = Clock::now(), first = Clock::time_point::max();
    for (const auto& o : open_) {
      if (!o->session.HasWhole()) first = std::min(first, o->session.Deadline());
    }
    if (first == Clock::time_point::max()) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first - now).count() + 1;
    constexpr std::int64_t kHourMs = 3'600'000;
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, kHourMs));
  }

  // Connections silent past their bound, closed; one whose bytes came
  // while the process was at work is read instead.
  void CloseExpired() {
    Clock::time_point now = Clock::now();
    for (auto it = open_.begin(); it != open_.end();) {
      bool expired = !(*it)->session.HasWhole() && (*it)->session.Deadline() <= now;
      it = expired ? ReadOrClose(it) : std::next(it);
    }
  }

  const Serve& serve_;
  const Limits& limits_;
  std::list<std::unique_ptr<Open>> open_;
  std::uint64_t wholes_ = 0;
};

}  // namespace

bool ServeConnections(const Serve& serve, std::string& error, const Limits& limits) {
  return Connections(serve, limits).Run(error);
}

}  // namespace frame::fastcgi
