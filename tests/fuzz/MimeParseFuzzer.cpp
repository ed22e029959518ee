// Parses any bytes as a message: no crash, hang or exception, and a text body that stays
// within a small multiple of the input.
#include "mime/MoxMsg.h"
#include "mime/SaveNames.h"
#include "platform/Utf8.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TMoxMsg msg;
    msg.RawMail = SplitLines(bytes);
    msg.Parse();
    size_t textBytes = 0;
    for (const std::string& line : msg.Text) {
        if (!IsValidUtf8(line)) std::abort();
        textBytes += line.size() + 2;
    }
    if (textBytes > 4 * size + 64) std::abort();
    if (!IsValidUtf8(msg.Subject) || !IsValidUtf8(msg.From) || !IsValidUtf8(msg.SendTo)) std::abort();
    std::vector<std::string> names = AttachmentSaveNames(msg.AttachedFiles);
    if (names.size() != msg.AttachedFiles.Count()) std::abort();
    for (const std::string& name : names)
        if (name.empty() || name.size() > kMaxSaveNameBytes || name.find('/') != std::string::npos) std::abort();
    return 0;
}
