#pragma once
// Date-time values (days since 1899-12-30 00:00, UTC) as text.
#include "store/MessageInfo.h"

#include <string>

namespace brindle {

// "YYYY-MM-DDTHH:MM:SSZ", rounded to the millisecond and then cut to the second. The whole
// days are the floor of the value, so that a value before 1899-12-30 keeps its positive
// time of day (as the readers build it: a negative day number plus the time). Empty for a
// value that is not finite or lies outside the years 1 to 9999.
std::string DateTimeToIso8601(TDateTime value);

// The Received column of `list`: the date-time in ISO 8601 when it is not 0, else the
// stored date text.
std::string ReceivedText(const TMessageInfo& info);

}  // namespace brindle
