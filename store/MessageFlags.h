#pragma once
// The flag bits and priorities that summaries carry, as both store formats write them.
#include <cstdint>

namespace brindle {

inline constexpr uint32_t kFlagFlagged = 0x20;
inline constexpr uint32_t kFlagRead = 0x80;
inline constexpr uint32_t kFlagHasAttachment = 0x4000;
// Set in .dbx summaries only.
inline constexpr uint32_t kFlagReplied = 0x80000;
inline constexpr uint32_t kFlagForwarded = 0x100000;

inline constexpr uint32_t kPriorityHigh = 1;
inline constexpr uint32_t kPriorityNormal = 3;
inline constexpr uint32_t kPriorityLow = 5;

}  // namespace brindle
