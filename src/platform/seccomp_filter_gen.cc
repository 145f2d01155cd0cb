// Writes the program's system-call filter (platform/confinement.h) as the
// kernel takes it, a C++ header of BPF instructions, made here with
// libseccomp once at build time: made at every start instead, it would add
// some 0.3 ms to each CGI process. Two variants: the program's, and a
// build's with AddressSanitizer, whose leak check needs clone and ptrace.
//   enpanel_seccomp_filter > seccomp_filter.h
#include <errno.h>
#include <linux/filter.h>
#include <sched.h>
#include <seccomp.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

namespace {

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

// The filter's instructions, as libseccomp makes them; exits on failure.
std::string Filter(bool sanitized) {
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr) exit(1);
  int failed = 0;
  // Calls of another architecture's numbering fail; none is killed.
  failed |= seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(ENOSYS));
  for (const char* name : kRefused) {
    int number = seccomp_syscall_resolve_name(name);
    if (number == __NR_SCMP_ERROR) continue;  // not on this system
    if (sanitized && number == SCMP_SYS(ptrace)) continue;
    failed |= seccomp_rule_add(filter, SCMP_ACT_TRAP, number, 0);
  }
  // A thread is made with clone and CLONE_THREAD; a process without it.
  // clone3 takes its flags in memory a filter cannot read: it fails as
  // unknown, and the C library falls back to clone.
  if (!sanitized) {
    failed |= seccomp_rule_add(filter, SCMP_ACT_TRAP, SCMP_SYS(clone), 1,
                               SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
  }
  failed |= seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
  FILE* file = tmpfile();
  if (failed != 0 || file == nullptr || seccomp_export_bpf(filter, fileno(file)) != 0) exit(1);
  std::string out;
  rewind(file);
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;) out.append(chunk, n);
  fclose(file);
  seccomp_release(filter);
  return out;
}

}  // namespace

int main() {
  printf("// Made by enpanel_seccomp_filter from src/platform/seccomp_filter_gen.cc.\n");
  printf("#pragma once\n#include <linux/filter.h>\n\n");
  for (bool sanitized : {false, true}) {
    std::string bpf = Filter(sanitized);
    printf("constexpr sock_filter %s[] = {\n", sanitized ? "kSanitizedFilter" : "kFilter");
    for (size_t at = 0; at + sizeof(sock_filter) <= bpf.size(); at += sizeof(sock_filter)) {
      sock_filter f;
      __builtin_memcpy(&f, bpf.data() + at, sizeof f);
      printf("    {0x%04x, %u, %u, 0x%08x},\n", f.code, f.jt, f.jf, f.k);
    }
    printf("};\n");
  }
  return 0;
}
