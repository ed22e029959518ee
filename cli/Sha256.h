#pragma once
// SHA-256 digests, for the attachment checksums that `show --json` prints (from OpenSSL's
// libcrypto).
#include <string>
#include <string_view>

namespace brindle {

// The digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace brindle
