// Calendar arithmetic on day counts since 1899-12-30 (the system's date-time
// origin: a whole number of days, the fraction is the time of day).
#pragma once

namespace common {

long DaysFromCivil(int year, int month, int day);
void CivilFromDays(long days, int& year, int& month, int& day);

}  // namespace common
