// The options page kept by a persistent process from one request to the
// next, while nothing it was built from may have changed.
//
// The page depends on the files in the program's folder (the headers file),
// the site's book folders and the default ones. Before a build, every one of
// those folders is watched (platform/folder_watch.h); a build that went
// through without a word to the operator is kept; a later request takes it
// only when no notice has come since. Where notices cannot be trusted (a
// shared or user-space file system, a watch refused) nothing is kept, and
// every request builds the page as a CGI process does. Only a persistent
// process keeps pages (KeepPagesFromNowOn, when it turns out to be one).
#pragma once
#include <string>
#include <vector>

namespace page {

// From now on the page may be kept: the process is a persistent one.
void KeepPagesFromNowOn();

// The kept page, when there is one and nothing it was built from may have
// changed since; nullptr otherwise.
const std::string* KeptPage();

// A build begins: what was kept is dropped and, when pages are kept, the
// folders are watched from now on. False when the page to come cannot be
// kept.
bool WatchBeforeBuilding(const std::vector<std::string>& folders);

// The page the build wrote, to keep (after WatchBeforeBuilding said true).
void KeepPage(std::string page);

// Nothing kept, nothing watched, pages not kept (tests).
void ForgetKeptPage();

}  // namespace page
