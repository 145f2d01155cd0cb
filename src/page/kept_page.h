// The options page kept by a persistent process from one request to the
// next, while nothing it was built from may have changed.
//
// What a build reads is recorded by the file service as the folders it lay
// in (platform/files.h); before the next build every one of those folders is
// watched (platform/folder_watch.h). A build is kept only when all it read
// was watched before it read it, no call of the file service failed (but
// for names that are not there), and it had nothing to tell the operator; a
// later request takes it only when no notice has come since. So the first
// build after a start is not kept (nothing was watched yet), and a build
// that reads somewhere new is kept from the next build on. Where notices
// cannot be trusted (a file system not known to be local, a watch refused)
// nothing is kept, and every request builds the page as a CGI process does.
// Only a persistent process keeps pages (KeepPagesFromNowOn, when it turns
// out to be one).
#pragma once
#include <string>
#include <string_view>

#include "common/compression.h"

namespace page {

// From now on the page may be kept: the process is a persistent one.
void KeepPagesFromNowOn();

// The kept page, when there is one and nothing it was built from may have
// changed since; nullptr otherwise.
const std::string* KeptPage();

// A build begins: what was kept is dropped and, when pages are kept, the
// folders the last build read are watched and what this one reads is
// recorded.
void BeginBuild();

// The build ended with `page`, the whole body of its answer: kept when it
// may be (above), `told_operator` saying whether it had anything to tell
// the operator.
void EndBuild(const std::string& page, bool told_operator);

// The compressed forms of `content`, the whole body of an answer, when it is
// the kept page (answered from where KeptPage() keeps it, or the same
// bytes): those ready now. The first call for a kept page
// starts making them (gzip and brotli, at their best) on a thread of their
// own, so that no visitor waits for them: until they are ready, none is
// given and the answer goes out as it is. One page's forms are made at a
// time; the forms of a page no longer kept are dropped.
common::CompressedForms KeptForms(std::string_view content);

// Waits until the forms under way, if any, are made (tests).
void WaitForKeptForms();

// Nothing kept, nothing watched, pages not kept (tests).
void ForgetKeptPage();

}  // namespace page
