// The Linux confinement: no new privileges and a seccomp filter. The filter
// is made at build time (seccomp_filter_gen.cc, with libseccomp): allowed
// by default, the calls this program never makes are refused by name; a
// refused call traps, and the handler makes it fail with EPERM and tells
// the operator.
#include <errno.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>

#include "platform/confinement.h"
#include "seccomp_filter.h"

namespace platform {
namespace {

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
#if defined(__SANITIZE_ADDRESS__)
  // A build with AddressSanitizer: its leak check stops the world at exit
  // with a tracing process of its own, made with clone and ptrace.
  const auto& filter = kSanitizedFilter;
#else
  const auto& filter = kFilter;
#endif
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                     const_cast<sock_filter*>(filter)};
  if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0) {
    error = std::string("the system-call filter: ") + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace platform
