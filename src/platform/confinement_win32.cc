// The Windows confinement: the process mitigation policies that fit a
// program that starts no other, makes no code at run time, uses its handles
// as they are, and loads nothing from a share.
#include <windows.h>

#include "platform/confinement.h"

namespace platform {

bool ConfineProcess(std::string& error) {
  std::string refused;
  // Each of these policies is one DWORD of flags (the system checks the
  // size given, which some headers' bit fields overstate).
  auto set = [&refused](PROCESS_MITIGATION_POLICY policy, DWORD flags, const char* name) {
    if (!SetProcessMitigationPolicy(policy, &flags, sizeof flags)) {
      refused += refused.empty() ? name : std::string(", ") + name;
    }
  };
  PROCESS_MITIGATION_CHILD_PROCESS_POLICY children{};
  children.NoChildProcessCreation = 1;
  set(ProcessChildProcessPolicy, children.Flags, "no child processes");
  PROCESS_MITIGATION_DYNAMIC_CODE_POLICY code{};
  code.ProhibitDynamicCode = 1;
  set(ProcessDynamicCodePolicy, code.Flags, "no dynamic code");
  PROCESS_MITIGATION_STRICT_HANDLE_CHECK_POLICY handles{};
  handles.RaiseExceptionOnInvalidHandleReference = 1;
  handles.HandleExceptionsPermanentlyEnabled = 1;
  set(ProcessStrictHandleCheckPolicy, handles.Flags, "strict handle checks");
  PROCESS_MITIGATION_IMAGE_LOAD_POLICY images{};
  images.NoRemoteImages = 1;
  images.NoLowMandatoryLabelImages = 1;
  set(ProcessImageLoadPolicy, images.Flags, "no remote images");
  if (refused.empty()) return true;
  error = "the system refused: " + refused;
  return false;
}

}  // namespace platform
