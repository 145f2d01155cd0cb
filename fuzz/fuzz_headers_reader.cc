// The headers file reader on any file content: it reports and goes on, it
// never crashes or reads past what is there.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/headers_file.h"
#include "common/page_text.h"
#include "server/site_paths.h"

namespace {

const std::string& Folder() {
  static const std::string folder = [] {
    auto dir =
        std::filesystem::temp_directory_path() / ("enpanel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "fulltxt");
    catalogue::BuildCatalogue();
    return dir.string() + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& folder = Folder();
  server::TXTPath = folder + "fulltxt/";  // no books: the file is never stale
  {
    std::ofstream out(folder + "Hdrs1020.TXT", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  common::PageText.clear();
  catalogue::ResetBookHeaders();
  catalogue::CallGetHeaders(true, folder);
  return 0;
}
