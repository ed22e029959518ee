// Parses any bytes as a message: no crash, hang or exception, a text body that stays within a
// small multiple of the input, and header members, text and item names that are UTF-8.
#include "mime/MoxMsg.h"
#include "mime/SaveNames.h"
#include "platform/Utf8.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TMoxMsg msg;
    msg.SetRawText(std::string(bytes));
    msg.Parse();
    size_t textBytes = 0;
    for (std::string_view line : msg.Text) {
        if (!IsValidUtf8(line)) std::abort();
        textBytes += line.size() + 2;
    }
    if (textBytes > 4 * size + 64) std::abort();
    for (const std::string* field :
         {&msg.From, &msg.ReplyTo, &msg.SendTo, &msg.CC, &msg.Subject, &msg.Sender, &msg.MessageID, &msg.InReplyTo,
          &msg.ReturnPath, &msg.Date, &msg.ContentType, &msg.ContentTransferEncoding})
        if (!IsValidUtf8(*field)) std::abort();
    for (const std::string& type : msg.TextTypes)
        if (!IsValidUtf8(type)) std::abort();
    for (size_t i = 0; i < msg.AttachedFiles.Count(); ++i) {
        const TAttachedFile& item = msg.AttachedFiles.Items(i);
        if (!IsValidUtf8(item.FileName) || !IsValidUtf8(item.MediaType) || !IsValidUtf8(item.ContentID)) std::abort();
    }
    std::vector<std::string> names = AttachmentSaveNames(msg.AttachedFiles);
    if (names.size() != msg.AttachedFiles.Count()) std::abort();
    for (const std::string& name : names)
        if (name.empty() || name.size() > kMaxSaveNameBytes || name.find('/') != std::string::npos) std::abort();
    return 0;
}
