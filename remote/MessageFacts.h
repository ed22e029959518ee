#pragma once
// What an upload reads from a message's own header: its Message-ID, by which a server finds
// it again, and its Date, the INTERNALDATE of a message whose store gives no received time.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The value of the first header field of that name (any case), unfolded and trimmed; none
// when the header block lacks it.
std::optional<std::string> HeaderFieldValue(std::string_view text, std::string_view name);

// Seconds since 1970 (UTC) of an RFC 5322 date ("Tue, 1 Jul 2003 10:52:37 +0200"; the day
// name, the seconds and the zone may be missing, zone names such as GMT and EST are read);
// none when it does not parse.
std::optional<int64_t> ParseMessageDate(std::string_view date);

}  // namespace brindle
