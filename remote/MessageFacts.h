#pragma once
// What an upload reads from a message's own header: its Message-ID, by which a server finds
// it again, and its Date (see MessageDateSeconds), the INTERNALDATE of a message whose store
// gives no received time.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The value of the first header field of that name (any case), unfolded and trimmed; none
// when the header block lacks it.
std::optional<std::string> HeaderFieldValue(std::string_view text, std::string_view name);

}  // namespace brindle
