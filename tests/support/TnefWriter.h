#pragma once
// Test-only writer of TNEF streams (winmail.dat): the signature and key, the message
// attributes a mail program writes first (version, code page, class), then per attachment
// its render data, title, modification date, data and, when asked, a MAPI property list with
// its long file name; every attribute with its checksum.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brindle::testsupport {

struct TTnefDate {
    uint16_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};

struct TTnefAttachment {
    std::string Title;  // written with a NUL
    std::string Data;
    std::optional<TTnefDate> Modified;
    std::optional<std::string> LongName;  // an 8-bit long file name among the MAPI properties
};

struct TTnefOptions {
    std::optional<size_t> BadChecksumOfData{};  // the data attribute of this attachment
    std::optional<uint32_t> Signature{};      // instead of the real one
    std::optional<size_t> TruncateTo{};
};

std::string BuildTnef(const std::vector<TTnefAttachment>& attachments, const TTnefOptions& options = {});

}  // namespace brindle::testsupport
