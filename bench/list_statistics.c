/* The least a request can do about an old statistics folder: list it once,
   as counting the running sessions needs, and answer. Run in the program's
   folder. */
#include <dirent.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  DIR* d = opendir("Statistics");
  int sessions = 0;
  struct dirent* e;
  while (d != NULL && (e = readdir(d)) != NULL) {
    size_t n = strlen(e->d_name);
    if (n > 8 && strcmp(e->d_name + n - 8, ".Session") == 0) ++sessions;
  }
  if (d != NULL) closedir(d);
  printf("Status: 200 OK\r\nContent-Type: text/plain\r\n\r\n%d\n", sessions);
  return 0;
}
