/* The work no implementation can skip on a site, shared by the two floors:
 *   floor_own_folder  the folder of the running program's real file
 *   floor_read_all    a whole file into memory (NULL when it cannot be read)
 *   floor_visit       one visit: the text and index folders listed once each,
 *                     the text files' modification times and the headers
 *                     file read, a session marker created and removed, the
 *                     day's counter rewritten under a lock, a log line
 *                     appended; with `rebuild`, the head of every book text
 *                     read and a headers file written anew, flushed and put
 *                     in place by a rename, the folder flushed after it.
 *                     With `keep_listings` (a persistent program) a folder's
 *                     names are read again only when its times show it may
 *                     have changed, as the program's own folder cache does.
 *   floor_statistics  only the visit's own work in Statistics/: the marker,
 *                     the counter, the log line (no book file looked at).
 * Both return 0, or 1 when a write failed. */
#pragma once
#include <stddef.h>

void floor_own_folder(char* folder, size_t size);
char* floor_read_all(const char* path, size_t* size);
int floor_visit(const char* folder, int rebuild, int keep_listings);
int floor_statistics(const char* folder);
