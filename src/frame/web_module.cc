#include "frame/web_module.h"

#include "frame/strings.h"
#include "page/options_handler.h"
#include "platform/files.h"

namespace frame {

bool ActionPathMatches(const std::string& pattern, const std::string& path_info) {
  if (pattern.empty()) return path_info.empty();
  return platform::WildcardMatch(pattern, path_info);
}

bool TWebModule::DispatchRequest(TCGIRequest& request, TCGIResponse& response) {
  std::string method = UpperAscii(request.GetStringVariable(kRequestMethod));
  std::string path_info = request.GetStringVariable(kPathInfo);
  for (int pass = 0; pass < 2; ++pass) {
    for (auto& item : actions) {
      if (item.is_default != (pass == 1) || !item.enabled || item.on_action == nullptr) continue;
      if (!item.method_type.empty() && UpperAscii(item.method_type) != method) continue;
      if (!ActionPathMatches(item.path_pattern, path_info)) continue;
      bool handled = true;
      item.on_action(*this, request, response, handled);
      if (handled) return true;
    }
  }
  return false;
}

TDoEngineActionModule::TDoEngineActionModule() {
  TWebActionItem item;
  item.name = "DoEngineAction1";
  item.on_action = &page::DoEngineAction1;
  actions.push_back(item);
}

}  // namespace frame
