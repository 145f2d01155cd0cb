// The confined process: what it never does fails with EPERM, with a line
// for the operator, and nothing is killed; what it does goes on (threads,
// files, the connections of a listener it holds).
#ifndef _WIN32
#include "platform/confinement.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <thread>

#include "support/test_site.h"

namespace platform {
namespace {

// Runs `body` in a confined child whose standard error goes to `err`; its
// exit status (a signal that ended it counts as 99).
int InConfinedChild(const std::string& err, int (*body)()) {
  pid_t pid = fork();
  if (pid == 0) {
    if (std::freopen(err.c_str(), "w", stderr) == nullptr) _exit(97);
    std::string error;
    if (!ConfineProcess(error)) _exit(98);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST(Confinement, WhatTheProgramNeverDoesFailsAndIsTold) {
  testkit::TempDir dir;
  std::string err = dir / "err";
  int status = InConfinedChild(err, [] {
    int failures = 0;
    char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
    if (execv("/bin/true", argv) != -1 || errno != EPERM) failures |= 1;
    if (socket(AF_INET, SOCK_STREAM, 0) != -1 || errno != EPERM) failures |= 2;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != -1 || errno != EPERM) failures |= 4;
#if !defined(__SANITIZE_ADDRESS__)
    pid_t child = fork();
    if (child == 0) _exit(0);
    if (child != -1 || errno != EPERM) failures |= 8;
#endif
    // What it does: a thread, a file.
    bool ran = false;
    std::thread([&ran] { ran = true; }).join();
    if (!ran) failures |= 16;
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) failures |= 32;
    if (f != nullptr) std::fclose(f);
    return failures;
  });
  EXPECT_EQ(status, 0) << "1 exec, 2 socket, 4 socketpair, 8 fork, 16 thread, 32 file; "
                          "98 not confined, 99 killed";
  std::string lines = testkit::ReadFile(err);
  EXPECT_NE(lines.find("enPanel: system call " + std::to_string(SYS_execve) + " refused\n"),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("enPanel: system call " + std::to_string(SYS_socket) + " refused\n"),
            std::string::npos)
      << lines;
}

TEST(Confinement, NoNewPrivilegesAndAFilterOfItsOwn) {
  testkit::TempDir dir;
  int status = InConfinedChild(dir / "err", [] {
    std::string status = testkit::ReadFile("/proc/self/status");
    bool no_new_privs = status.find("NoNewPrivs:\t1") != std::string::npos;
    bool filtered = status.find("Seccomp:\t2") != std::string::npos;
    return (no_new_privs ? 0 : 1) | (filtered ? 0 : 2);
  });
  EXPECT_EQ(status, 0) << "1: no NoNewPrivs, 2: no filter";
}

}  // namespace
}  // namespace platform
#endif
