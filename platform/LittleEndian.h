#pragma once
// The one way on-disk numbers are read: little-endian, from byte arrays, never by casting.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace brindle::le {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t U24(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

inline uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t U64(const uint8_t* p) {
    return static_cast<uint64_t>(U32(p)) | (static_cast<uint64_t>(U32(p + 4)) << 32);
}

// The same over a byte view; the caller has checked that off + width <= bytes.size().
inline uint16_t U16(std::string_view bytes, size_t off) {
    return U16(reinterpret_cast<const uint8_t*>(bytes.data()) + off);
}
inline uint32_t U24(std::string_view bytes, size_t off) {
    return U24(reinterpret_cast<const uint8_t*>(bytes.data()) + off);
}
inline uint32_t U32(std::string_view bytes, size_t off) {
    return U32(reinterpret_cast<const uint8_t*>(bytes.data()) + off);
}
inline uint64_t U64(std::string_view bytes, size_t off) {
    return U64(reinterpret_cast<const uint8_t*>(bytes.data()) + off);
}

}  // namespace brindle::le
