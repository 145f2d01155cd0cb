/* Baseline (b): writes the captured response to standard output, nothing else.
 *   bench_write_only RESPONSE_FILE */
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  char* page = malloc((size_t)st.st_size);
  ssize_t n = read(fd, page, (size_t)st.st_size);
  close(fd);
  if (n != st.st_size) return 1;
  for (ssize_t done = 0; done < n;) {
    ssize_t w = write(1, page + done, (size_t)(n - done));
    if (w <= 0) return 1;
    done += w;
  }
  return 0;
}
