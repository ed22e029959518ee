#pragma once
// The per-message summary record that both store readers fill.
#include <cstdint>
#include <string>

namespace brindle {

// Date-time value: days since 1899-12-30 00:00, the fraction being the time of day.
using TDateTime = double;

// Texts are bytes from the store up to their first NUL, cut to 255 bytes. An all-default
// record is a valid empty record.
struct TMessageInfo {
    uint32_t Index = 0;
    uint32_t Flags = 0;  // bits of store/MessageFlags.h
    uint32_t DataOffset = 0;
    std::string MessageID;
    std::string Subject;
    std::string Server;
    std::string SenderName;
    std::string SenderAddress;
    TDateTime Received = 0;  // 0 = unknown
    std::string DateText;    // shown when Received is 0
    std::string ReceiverName;
    std::string ReceiverAddress;
    std::string AccountName;
    uint32_t Size = 0;
    uint32_t Priority = 0;  // kPriorityHigh, kPriorityNormal, kPriorityLow

    bool operator==(const TMessageInfo&) const = default;
};

// Short strings hold at most this many bytes.
inline constexpr size_t kShortStringMax = 255;

}  // namespace brindle
