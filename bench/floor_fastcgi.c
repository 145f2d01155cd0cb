/* The persistent floor: a FastCGI program (on the listening socket it is
 * given as standard input, as spawn-fcgi and lighttpd's bin-path give it)
 * that does, for each request, the work no implementation can skip on a site
 * (floor_work.h, folder listings kept while their folders are unchanged)
 * and answers the bytes of a captured response, read once at
 * start from floor-response.bin beside its real file. The request's
 * parameters are not read: the floor's answer does not depend on them.
 * Built with FLOOR_STATISTICS_ONLY, it does only the visit's statistics work
 * and looks at no book file: the floor of a process that keeps its page.
 * Built with FLOOR_ANSWER_ONLY, it does nothing but answer: the cost of the
 * FastCGI path itself. */
#include <fcgiapp.h>
#include <stdio.h>
#include <stdlib.h>

#include "floor_work.h"

int main(void) {
  char folder[4096], response[4200];
  floor_own_folder(folder, sizeof folder);
  snprintf(response, sizeof response, "%s/floor-response.bin", folder);
  size_t size = 0;
  char* page = floor_read_all(response, &size);
  if (!page || FCGX_Init() != 0) return 1;
  FCGX_Request request;
  FCGX_InitRequest(&request, 0, 0);
  while (FCGX_Accept_r(&request) >= 0) {
#if defined(FLOOR_ANSWER_ONLY)
    int failed = 0;
#elif defined(FLOOR_STATISTICS_ONLY)
    int failed = floor_statistics(folder);
#else
    int failed = floor_visit(folder, 0, 1);
#endif
    if (failed != 0) fputs("floor: a statistics write failed\n", stderr);
    FCGX_PutStr(page, (int)size, request.out);
    FCGX_Finish_r(&request);
  }
  return 0;
}
