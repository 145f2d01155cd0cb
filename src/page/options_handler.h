// The options page handler: orders the whole request and builds the page.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/areas.h"
#include "common/web_action.h"

namespace page {

constexpr std::int32_t kSeparatorRow = -2;
constexpr std::int32_t kFillerRow = -3;

struct TFileRow {
  std::int32_t FileIx = 0;  // the book's slot, or kSeparatorRow / kFillerRow
  std::string BookName;     // cleaned for display
  std::string InfoLine;     // the author
};

// One row list per area; rows are read from 1 to the area's TotF.
extern std::array<std::vector<TFileRow>, catalogue::AreaCount> F_Rec;
extern bool InitFailed;

// Builds the per-area row lists from the present books: a separator before
// every sixth, eleventh ... book of an area, then fillers up to MaxAreaRows.
void BuildRowLists();

// The row lists empty and InitFailed false, as a new process has them.
void ResetRowLists();

// The page for one request; on return `handled` is true and the response
// content is the whole page.
void DoEngineAction1(common::WebRequest& request, common::WebResponse& response, bool& handled);

// & < > " ' as HTML entities.
std::string HtmlEscape(const std::string& text);

}  // namespace page
