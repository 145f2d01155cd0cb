#include "floor_work.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

void floor_own_folder(char* folder, size_t size) {
  ssize_t length = readlink("/proc/self/exe", folder, size - 1);
  folder[length > 0 ? length : 0] = '\0';
  char* slash = strrchr(folder, '/');
  if (slash != NULL) *slash = '\0';
}

char* floor_read_all(const char* path, size_t* size) {
  int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0) return NULL;
  if (fstat(fd, &st) != 0) {
    close(fd);
    return NULL;
  }
  char* data = malloc((size_t)st.st_size + 1);
  ssize_t n = read(fd, data, (size_t)st.st_size);
  close(fd);
  *size = n > 0 ? (size_t)n : 0;
  return data;
}

/* Writes the collected heads to a temporary file and renames it beside the
 * real headers file (the floor keeps the real one). */
static int write_headers(const char* folder, const char* headers, size_t size) {
  char temp[8400], placed[8400];
  snprintf(temp, sizeof temp, "%s/hdrFLOOR.tmp", folder);
  snprintf(placed, sizeof placed, "%s/Hdrs1020.FLOOR", folder);
  int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return 0;
  int failed = write(fd, headers, size) < 0 || fsync(fd) != 0;
  close(fd);
  if (failed || rename(temp, placed) != 0) return 1;
  int dir = open(folder, O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return 0;
}

static int count_visit(const char* folder, long newest, int index_files, size_t hsize) {
  char marker[8400], counter[8400], logfile[8400];
  snprintf(marker, sizeof marker, "%s/Statistics/$floor$%d.Session", folder, (int)getpid());
  snprintf(counter, sizeof counter, "%s/Statistics/$floor$day.ctr", folder);
  snprintf(logfile, sizeof logfile, "%s/Statistics/$floor$day.log", folder);
  int m = open(marker, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (m >= 0) close(m);

  int failed = 0;
  int c = open(counter, O_RDWR | O_CREAT, 0666);
  if (c >= 0) {
    flock(c, LOCK_EX);
    char buf[32] = {0};
    ssize_t n = pread(c, buf, sizeof buf - 1, 0);
    long value = n > 0 ? atol(buf) : 0;
    int len = snprintf(buf, sizeof buf, "%ld\r\n", value + 1);
    failed = ftruncate(c, 0) != 0 || pwrite(c, buf, (size_t)len, 0) != len;
    close(c);
  }
  unlink(marker);
  int l = open(logfile, O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (l >= 0) {
    char line[256];
    int len = snprintf(line, sizeof line, "floor %ld %d %d\r\n", newest, index_files, (int)hsize);
    failed |= write(l, line, (size_t)len) < 0;
    close(l);
  }
  return failed;
}

/* The names of a folder (those ending in `suffix`, or all but . and ..),
 * kept from one visit to the next where `keep` allows: only while the
 * folder's modification and status-change times are those it had when it
 * was read, and were then more than two seconds old. */
struct listing {
  struct timespec mtime, ctime;
  int settled;
  char** names;
  size_t count, room;
};

static int same_time(struct timespec a, struct timespec b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

static void read_listing(struct listing* l, const char* path, const char* suffix, int keep) {
  struct stat st;
  int known = stat(path, &st) == 0;
  if (keep && known && l->settled && same_time(st.st_mtim, l->mtime) &&
      same_time(st.st_ctim, l->ctime)) {
    return;
  }
  for (size_t i = 0; i < l->count; ++i) free(l->names[i]);
  l->count = 0;
  l->settled = known && time(NULL) - (st.st_mtime > st.st_ctime ? st.st_mtime : st.st_ctime) > 2;
  if (known) {
    l->mtime = st.st_mtim;
    l->ctime = st.st_ctim;
  }
  DIR* dir = opendir(path);
  struct dirent* e;
  while (dir && (e = readdir(dir))) {
    size_t len = strlen(e->d_name);
    if (suffix ? len < 5 || strcasecmp(e->d_name + len - 4, suffix) != 0 : e->d_name[0] == '.') {
      continue;
    }
    if (l->count == l->room) {
      l->room = l->room ? 2 * l->room : 512;
      l->names = realloc(l->names, l->room * sizeof *l->names);
    }
    l->names[l->count++] = strdup(e->d_name);
  }
  if (dir) closedir(dir);
}

int floor_visit(const char* folder, int rebuild, int keep_listings) {
  static struct listing texts, indexes;
  char path[8300];
  snprintf(path, sizeof path, "%s/fulltxt", folder);
  read_listing(&texts, path, ".TXT", keep_listings);
  int txt_fd = open(path, O_RDONLY | O_DIRECTORY);
  time_t newest = 0;
  size_t header_bytes = 0;
  char* headers = rebuild ? malloc(1 << 20) : NULL;
  for (size_t i = 0; txt_fd >= 0 && i < texts.count; ++i) {
    struct stat st;
    if (fstatat(txt_fd, texts.names[i], &st, 0) == 0 && st.st_mtime > newest) newest = st.st_mtime;
    if (rebuild) {
      int fd = openat(txt_fd, texts.names[i], O_RDONLY);
      char head[256];
      ssize_t n = fd >= 0 ? read(fd, head, sizeof head) : 0;
      if (fd >= 0) close(fd);
      if (n > 0 && header_bytes + (size_t)n < (1 << 20)) {
        memcpy(headers + header_bytes, head, (size_t)n);
        header_bytes += (size_t)n;
      }
    }
  }
  if (txt_fd >= 0) close(txt_fd);

  snprintf(path, sizeof path, "%s/fullindexes", folder);
  read_listing(&indexes, path, NULL, keep_listings);
  int index_files = (int)indexes.count;

  int failed = rebuild && write_headers(folder, headers, header_bytes);
  free(headers);
  snprintf(path, sizeof path, "%s/Hdrs1020.TXT", folder);
  size_t hsize = 0;
  free(floor_read_all(path, &hsize));
  return failed | count_visit(folder, (long)newest, index_files, hsize);
}

int floor_statistics(const char* folder) { return count_visit(folder, 0, 0, 0); }
