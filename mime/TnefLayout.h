#pragma once
// The layout of a TNEF stream (winmail.dat): a signature, a 16-bit key, then attributes, each
// a level byte, a 32-bit id (type in the high half), a 32-bit length, the data and a 16-bit
// checksum (the sum of the data bytes). Numbers are little-endian.
#include <cstdint>

namespace brindle::tnef {

inline constexpr uint32_t kSignature = 0x223E9F78;
inline constexpr uint32_t kStreamHeadSize = 6;  // signature, key

inline constexpr uint32_t kAttributeLevel = 0;
inline constexpr uint32_t kAttributeId = 1;
inline constexpr uint32_t kAttributeLength = 5;
inline constexpr uint32_t kAttributeHeadSize = 9;
inline constexpr uint32_t kChecksumSize = 2;

inline constexpr uint8_t kLevelMessage = 0x01;
inline constexpr uint8_t kLevelAttachment = 0x02;

// Attribute ids (type << 16 | id).
inline constexpr uint32_t kAttachRenderData = 0x00069002;  // opens each attachment
inline constexpr uint32_t kAttachTitle = 0x00018010;       // the short file name, NUL-terminated
inline constexpr uint32_t kAttachData = 0x0006800F;        // the file's bytes
inline constexpr uint32_t kAttachModifyDate = 0x00038013;  // seven 16-bit numbers, year first
inline constexpr uint32_t kAttachMapiProps = 0x00069005;   // MAPI properties (the long file name)
inline constexpr uint32_t kTnefVersion = 0x00089006;
inline constexpr uint32_t kOemCodePage = 0x00069007;
inline constexpr uint32_t kMessageClass = 0x00078008;

inline constexpr uint32_t kRenderDataSize = 14;
inline constexpr uint32_t kDateSize = 14;

// MAPI property tags (id << 16 | type).
inline constexpr uint16_t kMapiString8 = 0x001E;
inline constexpr uint16_t kMapiUnicode = 0x001F;
inline constexpr uint16_t kMapiAttachLongFileName = 0x3707;

}  // namespace brindle::tnef
