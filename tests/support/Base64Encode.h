#pragma once
// Base64 encoding (RFC 2045 alphabet, "=" padding) for building test messages and samples.
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle::testsupport {

inline std::string Base64Encode(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

// The base64 form of bytes in lines of 76 characters, each followed by lineEnd.
inline std::string Base64Lines(std::string_view bytes, std::string_view lineEnd) {
    const std::string encoded = Base64Encode(bytes);
    std::string out;
    out.reserve(encoded.size() + (encoded.size() / 76 + 1) * lineEnd.size());
    for (size_t pos = 0; pos < encoded.size(); pos += 76) {
        out.append(encoded, pos, 76);
        out += lineEnd;
    }
    return out;
}

}  // namespace brindle::testsupport
