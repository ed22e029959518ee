#include "cli/Sha256.h"

#include <openssl/sha.h>

namespace brindle {

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * SHA256_DIGEST_LENGTH);
    for (unsigned char byte : digest) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0F];
    }
    return hex;
}

}  // namespace brindle
