#pragma once
// Mailbox names on an IMAP server are in modified UTF-7: printable ASCII stands for itself
// ("&" as "&-"), every other run of characters is "&", the UTF-16 form in base64 with ","
// for "/" and no padding, then "-".
#include <string>
#include <string_view>

namespace brindle {

// The name of a UTF-8 text (bytes that are not UTF-8 read as Windows-1252).
std::string ModifiedUtf7Encoded(std::string_view utf8);

// The UTF-8 text of a name; a run that does not decode stays as it is.
std::string ModifiedUtf7Decoded(std::string_view name);

}  // namespace brindle
