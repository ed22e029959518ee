#pragma once
// The moment a message's Date field names (RFC 5322 3.3), read with the obsolete forms of its
// section 4.3 that old mail programs wrote: comments, a missing weekday or seconds, two- and
// three-digit years, zone names (UT, GMT, the US zones, military letters) or no zone at all.
#include "store/MessageInfo.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace brindle {

// Seconds since 1970 (UTC) of a Date field's value; none when it names no valid day of the
// years 1 to 9999 or gives a time that is none. A missing time is midnight, a missing zone or
// one of another name UTC.
std::optional<int64_t> MessageDateSeconds(std::string_view text);

// The same moment as a date-time value: days since 1899-12-30 (UTC), the fraction the time.
std::optional<TDateTime> MessageDateValue(std::string_view text);

}  // namespace brindle
