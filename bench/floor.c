/* Baseline (a), the floor of a request on a site: only the work that no
 * implementation can skip there, then the same response bytes, read from a
 * captured copy.
 *   bench_floor [RESPONSE_FILE PROGRAM_FOLDER [--rebuild]]
 * It lists the text and index folders once each, reads the text files'
 * modification times and the headers file, creates and removes a session
 * marker, rewrites the day's counter and appends a log line. With --rebuild it
 * also reads the head of every book text and writes a headers file anew,
 * flushed to disk and put in place by a rename, the folder flushed after it.
 * Served as a CGI program (no arguments) its folder is the folder of its real
 * file, and its response the file floor-response.bin there. */
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static char* read_all(const char* path, size_t* size) {
  int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return NULL;
  char* data = malloc((size_t)st.st_size + 1);
  ssize_t n = read(fd, data, (size_t)st.st_size);
  close(fd);
  *size = n > 0 ? (size_t)n : 0;
  return data;
}

int main(int argc, char** argv) {
  char own[4096], own_response[4200];
  ssize_t own_length = readlink("/proc/self/exe", own, sizeof own - 1);
  own[own_length > 0 ? own_length : 0] = '\0';
  char* slash = strrchr(own, '/');
  if (slash != NULL) *slash = '\0';
  snprintf(own_response, sizeof own_response, "%s/floor-response.bin", own);
  const char* response = argc > 1 ? argv[1] : own_response;
  const char* folder = argc > 2 ? argv[2] : own;
  int rebuild = argc > 3 && strcmp(argv[3], "--rebuild") == 0;
  char path[8300];

  snprintf(path, sizeof path, "%s/fulltxt", folder);
  DIR* txt = opendir(path);
  int txt_fd = txt ? dirfd(txt) : -1;
  struct dirent* e;
  time_t newest = 0;
  size_t header_bytes = 0;
  char* headers = NULL;
  if (rebuild) headers = malloc(1 << 20);
  while (txt && (e = readdir(txt))) {
    size_t len = strlen(e->d_name);
    if (len < 5 || strcasecmp(e->d_name + len - 4, ".TXT") != 0) continue;
    struct stat st;
    if (fstatat(txt_fd, e->d_name, &st, 0) == 0 && st.st_mtime > newest) newest = st.st_mtime;
    if (rebuild) {
      int fd = openat(txt_fd, e->d_name, O_RDONLY);
      char head[256];
      ssize_t n = fd >= 0 ? read(fd, head, sizeof head) : 0;
      if (fd >= 0) close(fd);
      if (n > 0 && header_bytes + (size_t)n < (1 << 20)) {
        memcpy(headers + header_bytes, head, (size_t)n);
        header_bytes += (size_t)n;
      }
    }
  }
  if (txt) closedir(txt);

  snprintf(path, sizeof path, "%s/fullindexes", folder);
  DIR* idx = opendir(path);
  int index_files = 0;
  while (idx && (e = readdir(idx))) index_files += e->d_name[0] != '.';
  if (idx) closedir(idx);

  snprintf(path, sizeof path, "%s/Hdrs1020.TXT", folder);
  if (rebuild) {
    char temp[8400];
    snprintf(temp, sizeof temp, "%s/hdrFLOOR.tmp", folder);
    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd >= 0) {
      if (write(fd, headers, header_bytes) < 0 || fsync(fd) != 0) return 1;
      close(fd);
      /* the floor keeps the real headers file: its copy goes beside it */
      char placed[8400];
      snprintf(placed, sizeof placed, "%s/Hdrs1020.FLOOR", folder);
      if (rename(temp, placed) != 0) return 1;
      int dir = open(folder, O_RDONLY | O_DIRECTORY);
      if (dir >= 0) {
        fsync(dir);
        close(dir);
      }
    }
  }
  size_t hsize = 0;
  char* hdr = read_all(path, &hsize);
  free(hdr);

  char marker[8400], counter[8400], logfile[8400];
  snprintf(marker, sizeof marker, "%s/Statistics/$floor$%d.Session", folder, (int)getpid());
  snprintf(counter, sizeof counter, "%s/Statistics/$floor$day.ctr", folder);
  snprintf(logfile, sizeof logfile, "%s/Statistics/$floor$day.log", folder);
  int m = open(marker, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (m >= 0) close(m);

  size_t size = 0;
  char* page = read_all(response, &size);
  if (!page) return 1;

  int c = open(counter, O_RDWR | O_CREAT, 0666);
  if (c >= 0) {
    flock(c, LOCK_EX);
    char buf[32] = {0};
    ssize_t n = pread(c, buf, sizeof buf - 1, 0);
    long value = n > 0 ? atol(buf) : 0;
    int len = snprintf(buf, sizeof buf, "%ld\r\n", value + 1);
    if (ftruncate(c, 0) != 0 || pwrite(c, buf, (size_t)len, 0) != len) return 1;
    close(c);
  }
  unlink(marker);
  int l = open(logfile, O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (l >= 0) {
    char line[256];
    int len = snprintf(line, sizeof line, "floor %ld %d %d\r\n", (long)newest, index_files, (int)hsize);
    if (write(l, line, (size_t)len) < 0) return 1;
    close(l);
  }

  for (size_t done = 0; done < size;) {
    ssize_t w = write(1, page + done, size - done);
    if (w <= 0) return 1;
    done += (size_t)w;
  }
  return 0;
}
