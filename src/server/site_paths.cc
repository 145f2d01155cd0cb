#include "server/site_paths.h"

#include "common/page_text.h"
#include "common/paths.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "server/file_scan.h"
#include "server/file_utils.h"

namespace server {

std::string _WebPath;
std::string StatPath;
std::string ZafkarPath;
std::string TXTPath;
std::string IDXPath;

const char* const kFallbackTxtPath = "/Kbx32-d4/txt/";
const char* const kFallbackIdxPath = "/Kbx32-d4/indexes/";

namespace {
std::string g_program_file;
constexpr const char* kSiteTxtFolder = "fulltxt/";
constexpr const char* kSiteIdxFolder = "fullindexes/";
}  // namespace

std::string fnCorrectPath(const std::string& path) {
  std::string copy = path;
  std::size_t colon = copy.find(':');
  if (colon != std::string::npos && colon >= 2) copy.erase(0, colon - 1);
  return copy;
}

void SetSitePaths(const std::string& program_file) {
  g_program_file = program_file;
  _WebPath = fnCorrectPath(common::ExtractFilePath(program_file));
  StatPath = _WebPath + "Statistics\\";
  ZafkarPath = _WebPath + "Zafkar\\";
  TXTPath = _WebPath + kSiteTxtFolder;
  IDXPath = _WebPath + kSiteIdxFolder;
}

void InitSitePaths(const std::string& program_file) {
  SetSitePaths(program_file);
  if (!platform::DirectoryExists(StatPath)) {
    if (!platform::CreateDirectories(StatPath)) {
      platform::OperatorMessage("Cannot create the statistics folder " +
                                platform::OperatorPath(StatPath) + "\r\n" +
                                IOErrorText(platform::LastErrorCode()));
    }
  }
}

void CGIFindAvailFiles(std::string& diagnostic) {
  diagnostic.clear();
  CallCGIFindAvailFiles();
  if (TotFilesOnWeb == 0) {
    std::string corrected = fnCorrectPath(g_program_file);
    diagnostic =
        "No files available on Default path: " + TXTPath + "\r\n\r\n" +
        "fnCorrectPath(ParamStr(0))= " + corrected + "\r\n" +
        "ExtractFilePath(fnCorrectPath(ParamStr(0)))= " + common::ExtractFilePath(corrected) +
        "\r\n" + "_WebPath=(same)= " + _WebPath + "\r\n" +
        "TXTPath:=_WebPath+'fulltxt/'= " + TXTPath + "\r\n" +
        "IDXPath:=_WebPath+'fullindexes/'= " + IDXPath;
    TXTPath = kFallbackTxtPath;
    IDXPath = kFallbackIdxPath;
    CallCGIFindAvailFiles();
    if (TotFilesOnWeb == 0) diagnostic.clear();
  }
  common::Trace("exiting CGIFindAvailFiles");
}

}  // namespace server
