#pragma once
// SHA-256 digests (FIPS 180-4), for the attachment checksums that `show --json` prints.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

class TSha256 {
public:
    TSha256();
    void Update(std::string_view bytes);
    // The 32-byte digest; the object must not be updated afterwards.
    std::array<uint8_t, 32> Finish();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> pending_{};
    size_t pendingSize_ = 0;
    uint64_t totalBytes_ = 0;
};

// The digest of bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace brindle
