#pragma once
// Mailbox names in the modified form of UTF-7 that IMAP uses (RFC 3501, 5.1.3) and that
// Maildir++ folder names carry on disk: printable ASCII but "&" stands for itself, "&" is
// "&-", and every run of other characters is its UTF-16 in base64 (with "," for "/", no
// padding) between "&" and "-".
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// The name (UTF-8; bytes that are not valid UTF-8 are read as Windows-1252) in modified UTF-7.
std::string EncodeModifiedUtf7(std::string_view utf8);

// The UTF-8 of a name in modified UTF-7; none when it is not in that form (a character outside
// printable ASCII, an unended or empty run, base64 that is not whole UTF-16, a run that holds
// only printable ASCII, two runs side by side).
std::optional<std::string> DecodeModifiedUtf7(std::string_view name);

}  // namespace brindle
