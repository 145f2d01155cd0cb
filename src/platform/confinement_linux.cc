// The Linux confinement: no new privileges and a seccomp filter, made with
// libseccomp. Allowed by default, the calls this program never makes are
// refused by name; a refused call traps, and the handler makes it fail with
// EPERM and tells the operator.
#include <errno.h>
#include <sched.h>
#include <seccomp.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>

#include "platform/confinement.h"

namespace platform {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// A build with AddressSanitizer: its leak check stops the world at exit
// with a tracing process of its own, made with clone and ptrace.
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Calls this program never makes, refused whatever their arguments.
constexpr const char* kRefused[] = {
    // starting programs, making processes
    "execve", "execveat", "fork", "vfork",
    // sockets of its own (those taken from the listener are another matter)
    "socket", "socketpair", "connect", "bind", "listen",
    // other processes
    "ptrace", "process_vm_readv", "process_vm_writev", "pidfd_open", "pidfd_getfd", "kcmp",
    // mounts, namespaces, roots
    "mount", "umount2", "pivot_root", "chroot", "setns", "unshare", "fsopen", "fsmount", "fsconfig",
    "move_mount", "open_tree", "mount_setattr",
    // the kernel itself
    "init_module", "finit_module", "delete_module", "kexec_load", "kexec_file_load", "bpf",
    "perf_event_open", "userfaultfd", "reboot", "swapon", "swapoff", "acct", "iopl", "ioperm",
    "syslog", "quotactl", "lookup_dcookie", "personality", "uselib", "open_by_handle_at",
    "name_to_handle_at", "io_uring_setup", "io_uring_enter", "io_uring_register",
    // keys
    "add_key", "request_key", "keyctl",
    // accounts, the clock, the host's names
    "setuid", "setgid", "setreuid", "setregid", "setresuid", "setresgid", "setfsuid", "setfsgid",
    "setgroups", "settimeofday", "clock_settime", "clock_adjtime", "adjtimex", "sethostname",
    "setdomainname"};

// What the handler writes: "enPanel: system call NUMBER refused\n".
void OnRefused(int /*signal*/, siginfo_t* info, void* context) {
  auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
  uc->uc_mcontext.gregs[REG_RAX] = -EPERM;
#elif defined(__aarch64__)
  uc->uc_mcontext.regs[0] = static_cast<std::uint64_t>(-EPERM);
#endif
  char line[64] = "enPanel: system call ";
  std::size_t at = strlen(line);
  char digits[16];
  int n = 0;
  for (unsigned v = static_cast<unsigned>(info->si_syscall); n == 0 || v != 0; v /= 10) {
    digits[n++] = static_cast<char>('0' + v % 10);
  }
  while (n > 0) line[at++] = digits[--n];
  const char tail[] = " refused\n";
  for (char c : tail) {
    if (c != '\0') line[at++] = c;
  }
  ssize_t ignored = write(STDERR_FILENO, line, at);
  (void)ignored;
}

}  // namespace

bool ConfineProcess(std::string& error) {
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    error = std::string("no new privileges: ") + strerror(errno);
    return false;
  }
  struct sigaction on_refused {};
  on_refused.sa_sigaction = &OnRefused;
  on_refused.sa_flags = SA_SIGINFO;
  sigemptyset(&on_refused.sa_mask);
  if (sigaction(SIGSYS, &on_refused, nullptr) != 0) {
    error = std::string("SIGSYS: ") + strerror(errno);
    return false;
  }
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr) {
    error = "a system-call filter could not be made";
    return false;
  }
  int failed = 0;
  // Calls of another architecture's numbering fail; none is killed.
  failed |= seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(ENOSYS));
  for (const char* name : kRefused) {
    int number = seccomp_syscall_resolve_name(name);
    if (number == __NR_SCMP_ERROR) continue;  // not on this system
    if (kSanitized && number == SCMP_SYS(ptrace)) continue;
    failed |= seccomp_rule_add(filter, SCMP_ACT_TRAP, number, 0);
  }
  // A thread is made with clone and CLONE_THREAD; a process without it.
  // clone3 takes its flags in memory a filter cannot read: it fails as
  // unknown, and the C library falls back to clone.
  if (!kSanitized) {
    failed |= seccomp_rule_add(filter, SCMP_ACT_TRAP, SCMP_SYS(clone), 1,
                               SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
  }
  failed |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
  if (failed != 0) {
    error = "a rule of the system-call filter could not be made";
    seccomp_release(filter);
    return false;
  }
  int loaded = seccomp_load(filter);
  seccomp_release(filter);
  if (loaded != 0) {
    error = std::string("the system-call filter: ") + strerror(-loaded);
    return false;
  }
  return true;
}

}  // namespace platform
