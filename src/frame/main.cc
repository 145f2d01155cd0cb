// enPanel: the English search-options page, one CGI request per process.
#include "frame/application.h"

int main() { return frame::ProcessEntry(); }
