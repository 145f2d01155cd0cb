// The nine subject areas: contiguous ranges of file indices that together
// cover 1..371, with their names and the row counts the page fills in.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace catalogue {

struct TAreaRecord {
  std::int32_t FirstFile = 0;
  std::int32_t LastFile = 0;
  std::string AreaId;      // English identifier: script, element and box names
  std::string ArabicName;  // Windows-1256 bytes
  std::string Caption;     // English name shown in the area's header cell
  std::int32_t TotF = 0;   // rows the page put into this area's list
};

constexpr int tg_FirstArea = 0;
constexpr int AreaCount = 9;

extern std::array<TAreaRecord, AreaCount> S_Rec;
extern std::int32_t MaxAreaRows;  // the largest TotF: the number of grid rows

void InitAreas();

}  // namespace catalogue
