#include "server/file_utils.h"

#include "common/paths.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "server/file_security.h"

namespace server {

void ForceFileFolder(const std::string& file_path) {
  std::string folder = common::ExtractFilePath(common::NormalizeSeparators(file_path));
  if (!folder.empty()) platform::CreateDirectories(folder);
}

bool CanWriteToDir(const std::string& folder_path) {
  if (folder_path.empty()) {
    platform::OperatorMessage("ERROR\r\n\r\ntrying to write to a directory, but the path is empty");
    return false;
  }
  std::string path = folder_path + "\\";
  for (;;) {
    std::string before = path;
    path = common::NormalizeSeparators(path);
    for (std::size_t at = path.find("\\ "); at != std::string::npos; at = path.find("\\ ")) {
      path.erase(at + 1, 1);
    }
    if (path == before) break;
  }
  std::string folder = common::ExtractFilePath(path);
  if (!platform::DirectoryExists(folder)) {
    platform::CreateDirectories(folder);
    return platform::DirectoryExists(folder);
  }
  std::string temp;
  bool created = platform::CreateUniqueFile(folder, "temp", temp);
  if (!created && TFileSecurity(folder).GrantCurrentUserWrite()) {
    created = platform::CreateUniqueFile(folder, "temp", temp);
  }
  if (created) platform::RemoveFile(temp);
  return created;
}

bool DeleteFileSure(const std::string& raw_path, std::string& error_text) {
  std::string path = common::NormalizeSeparators(raw_path);
  platform::SetAttributes(path, platform::kAttrArchive);
  if (!platform::PathExists(path)) {
    platform::RemoveFile(path);
    return true;
  }
  if (!platform::RemoveFile(path) && platform::PathExists(path)) {
    // The failed delete says why; the file's content is left alone.
    int code = platform::LastErrorCode();
    if (code != 0) error_text = IOErrorText(code);
  }
  platform::RemoveFile(path);
  return !platform::PathExists(path);
}

bool RenameFileSafe(const std::string& raw_source, const std::string& raw_destination) {
  std::string source = common::NormalizeSeparators(raw_source);
  std::string destination = common::NormalizeSeparators(raw_destination);
  ForceFileFolder(destination);
  if (!platform::PathExists(source)) {
    platform::OperatorMessage("Error renaming file\r\nInitial File NOT FOUND:\r\n" +
                              platform::OperatorPath(source));
    return false;
  }
  if (platform::RenameFile(source, destination)) return true;
  platform::OperatorMessage(
      "Error renaming file\r\nFound source file:\r\n" + platform::OperatorPath(source) + "\r\n" +
      "But could not rename it to:" + "\r\n" + platform::OperatorPath(destination));
  return false;
}

std::string IOErrorText(int code) {
  return "Error code " + std::to_string(code) + ": " + platform::SystemErrorText(code);
}

}  // namespace server
