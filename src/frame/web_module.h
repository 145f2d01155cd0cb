// The web module: a dispatcher with its list of actions. An action takes a
// request when it is enabled, its method fits and its path pattern matches
// the path info; its handler then decides whether the request was handled.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "frame/cgi_request.h"
#include "frame/cgi_response.h"

namespace frame {

class TWebModule;
using ActionHandler = void (*)(TWebModule& sender, TCGIRequest& request, TCGIResponse& response,
                               bool& handled);

struct TWebActionItem {
  std::string name;
  std::string path_pattern;  // file-mask rules; empty matches only an empty path info
  std::string method_type;   // empty: any method
  bool enabled = true;
  bool is_default = false;
  ActionHandler on_action = nullptr;
};

class TWebModule {
 public:
  virtual ~TWebModule() = default;
  virtual bool IsDispatcher() const { return true; }
  // Offers the request to the actions in order, the default ones last.
  // True when an action took the request and left `handled` set.
  bool DispatchRequest(TCGIRequest& request, TCGIResponse& response);

  std::vector<TWebActionItem> actions;
};

// The program's only module: one action, DoEngineAction1, for an empty path
// info and any method, handled by `on_action`.
class TDoEngineActionModule : public TWebModule {
 public:
  explicit TDoEngineActionModule(ActionHandler on_action);
};

bool ActionPathMatches(const std::string& pattern, const std::string& path_info);

}  // namespace frame
