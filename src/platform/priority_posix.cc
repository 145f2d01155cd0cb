#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/priority.h"

namespace platform {
namespace {

bool SetPolicy(int policy, int priority) {
  sched_param param{};
  param.sched_priority = priority;
  return sched_setscheduler(0, policy, &param) == 0;
}

bool SetNice(int nice) { return setpriority(PRIO_PROCESS, 0, nice) == 0; }

}  // namespace

bool SetPriorityClassOfProcess(std::int32_t priority_class) {
  switch (priority_class) {
    case kNormalPriorityClass:
      return SetPolicy(SCHED_OTHER, 0) && SetNice(0);
    case kIdlePriorityClass:
      return SetPolicy(SCHED_IDLE, 0);
    case kHighPriorityClass:
      return SetPolicy(SCHED_OTHER, 0) && SetNice(-10);
    case kRealtimePriorityClass:
      return SetPolicy(SCHED_RR, sched_get_priority_min(SCHED_RR));
    default:
      return false;
  }
}

namespace {

// The hand-over between the work's thread and the caller's.
std::mutex g_mutex;
std::condition_variable g_changed;
bool g_running = false;
bool g_work_done = false;
const std::function<void()>* g_step = nullptr;
bool g_step_done = false;
std::exception_ptr g_step_failure;
std::thread::id g_caller;

}  // namespace

// True when this process may raise its priority again after going idle
// (root, or a nice limit that allows nice 0).
static bool CanLeaveIdle() {
  rlimit nice{};
  return geteuid() == 0 || (getrlimit(RLIMIT_NICE, &nice) == 0 && nice.rlim_cur >= 20);
}

// Set while the work runs on the caller's own thread.
static bool g_in_place = false;

void RunWithOwnPriority(const std::function<void()>& work) {
  if (CanLeaveIdle()) {
    // No second thread needed: the work can return to normal by itself.
    g_in_place = true;
    work();
    g_in_place = false;
    return;
  }
  std::unique_lock<std::mutex> lock(g_mutex);
  g_running = true;
  g_work_done = false;
  g_caller = std::this_thread::get_id();
  lock.unlock();
  std::thread worker([&work] {
    work();
    std::lock_guard<std::mutex> done(g_mutex);
    g_work_done = true;
    g_changed.notify_all();
  });
  lock.lock();
  for (;;) {
    g_changed.wait(lock, [] { return g_work_done || g_step != nullptr; });
    if (g_step == nullptr) break;
    const std::function<void()>* step = g_step;
    lock.unlock();
    std::exception_ptr failure;
    try {
      (*step)();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    g_step = nullptr;
    g_step_failure = failure;
    g_step_done = true;
    g_changed.notify_all();
  }
  g_running = false;
  lock.unlock();
  worker.join();
}

void RunAtStartingPriority(const std::function<void()>& step) {
  if (g_in_place && sched_getscheduler(0) == SCHED_IDLE) {
    sched_param param{};
    if (sched_setscheduler(0, SCHED_OTHER, &param) == 0) {
      struct Back {
        ~Back() {
          sched_param idle{};
          sched_setscheduler(0, SCHED_IDLE, &idle);
        }
      } back;
      step();
      return;
    }
  }
  std::unique_lock<std::mutex> lock(g_mutex);
  if (!g_running || std::this_thread::get_id() == g_caller) {
    lock.unlock();
    step();
    return;
  }
  g_step = &step;
  g_step_done = false;
  g_changed.notify_all();
  g_changed.wait(lock, [] { return g_step_done; });
  std::exception_ptr failure = g_step_failure;
  g_step_failure = nullptr;
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace platform
