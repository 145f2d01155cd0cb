// hold_file.exe FILE RELEASE [rename]: holds FILE open, as a program that
// runs holds its own file, until the file RELEASE is gone. It shares
// reading only, so that FILE cannot be written, replaced or renamed
// meanwhile; with "rename", also deleting, so that FILE can be renamed
// (as a running program can) but not written over. Prints "held" once it holds.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: hold_file.exe FILE RELEASE [rename]\n", stderr);
    return 2;
  }
  const DWORD share =
      FILE_SHARE_READ | (argc > 3 && std::strcmp(argv[3], "rename") == 0 ? FILE_SHARE_DELETE : 0);
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_file: cannot open %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  while (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) Sleep(50);
  CloseHandle(file);
  return 0;
}
