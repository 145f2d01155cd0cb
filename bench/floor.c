/* Baseline (a), the floor of a request on a site: only the work that no
 * implementation can skip there (floor_work.h), then the same response
 * bytes, read from a captured copy.
 *   bench_floor [RESPONSE_FILE PROGRAM_FOLDER [--rebuild]]
 * Served as a CGI program (no arguments) its folder is the folder of its real
 * file, and its response the file floor-response.bin there. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "floor_work.h"

int main(int argc, char** argv) {
  char own[4096], own_response[4200];
  floor_own_folder(own, sizeof own);
  snprintf(own_response, sizeof own_response, "%s/floor-response.bin", own);
  const char* response = argc > 1 ? argv[1] : own_response;
  const char* folder = argc > 2 ? argv[2] : own;
  int rebuild = argc > 3 && strcmp(argv[3], "--rebuild") == 0;

  if (floor_visit(folder, rebuild, 0) != 0) return 1;
  size_t size = 0;
  char* page = floor_read_all(response, &size);
  if (!page) return 1;
  for (size_t done = 0; done < size;) {
    ssize_t w = write(1, page + done, size - done);
    if (w <= 0) return 1;
    done += (size_t)w;
  }
  return 0;
}
