#pragma once
// TNEF attachments (winmail.dat, application/ms-tnef): the files they carry, unpacked.
#include "platform/Exceptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The stream cannot be unpacked; the attachment stays as it is.
class ETnefError : public Exception {
public:
    using Exception::Exception;
};

struct TTnefFile {
    std::string Name;  // UTF-8: the long file name where the stream has one, else its title
    std::string Data;
    std::optional<int64_t> Modified;  // seconds since 1970-01-01 UTC
};

// True for an attachment that declares itself TNEF: its media type (application/ms-tnef or
// application/vnd.ms-tnef) or its name (winmail.dat, in any case).
bool IsTnefAttachment(std::string_view mediaType, std::string_view fileName);

// The files of the stream, in its order. Every attribute is checked first (its length inside
// the stream, its checksum, the MAPI properties that hold the long names); libytnef then
// unpacks the attributes that make the files (render data, title, date, data), each of a
// size it takes without complaint. Names are read in
// codePage (a charset label) where they are 8-bit; empty means Windows-1252. Throws
// ETnefError naming the damage.
std::vector<TTnefFile> UnpackTnef(std::string_view bytes, const std::string& codePage = {});

}  // namespace brindle
