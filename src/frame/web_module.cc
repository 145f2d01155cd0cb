#include "frame/web_module.h"

#include "platform/names.h"

namespace frame {

bool ActionPathMatches(const std::string& pattern, const std::string& path_info) {
  if (pattern.empty()) return path_info.empty();
  return platform::WildcardMatch(pattern, path_info);
}

bool TWebModule::DispatchRequest(TCGIRequest& request, TCGIResponse& response) {
  std::string method = platform::UpperAscii(request.GetStringVariable(kRequestMethod));
  std::string path_info = request.GetStringVariable(kPathInfo);
  for (int pass = 0; pass < 2; ++pass) {
    for (auto& item : actions) {
      if (item.is_default != (pass == 1) || !item.enabled || item.on_action == nullptr) continue;
      if (!item.method_type.empty() && platform::UpperAscii(item.method_type) != method) continue;
      if (!ActionPathMatches(item.path_pattern, path_info)) continue;
      bool handled = true;
      item.on_action(*this, request, response, handled);
      if (handled) return true;
    }
  }
  return false;
}

TDoEngineActionModule::TDoEngineActionModule(ActionHandler on_action) {
  TWebActionItem item;
  item.name = "DoEngineAction1";
  item.on_action = on_action;
  actions.push_back(item);
}

}  // namespace frame
