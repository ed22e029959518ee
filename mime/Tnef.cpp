#include "mime/Tnef.h"

#include "mime/TnefLayout.h"
#include "platform/Charset.h"
#include "platform/LittleEndian.h"

#include <chrono>
#include <memory>

// libytnef's headers define BYTE, WORD and DWORD as macros; they come after every other header.
extern "C" {
#include <ytnef.h>
}

namespace brindle {
namespace {

constexpr std::string_view kDefaultCodePage = "windows-1252";

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return lower;
}

[[noreturn]] void Damage(const std::string& text, size_t offset) {
    ETnefError error("The TNEF attachment cannot be unpacked: " + text + ".");
    error.AddContext({"TNEF attribute", offset, std::nullopt});
    throw error;
}

// Every attribute lies inside the stream, has a known level and its checksum right.
void CheckAttributes(std::string_view bytes) {
    if (bytes.size() < tnef::kStreamHeadSize || le::U32(bytes, 0) != tnef::kSignature)
        Damage("it does not begin with the TNEF signature", 0);
    size_t at = tnef::kStreamHeadSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < tnef::kAttributeHeadSize + tnef::kChecksumSize) Damage("an attribute is cut short", at);
        const auto level = static_cast<uint8_t>(bytes[at + tnef::kAttributeLevel]);
        if (level != tnef::kLevelMessage && level != tnef::kLevelAttachment)
            Damage("an attribute has the unknown level " + std::to_string(level), at);
        const uint32_t length = le::U32(bytes, at + tnef::kAttributeLength);
        const size_t data = at + tnef::kAttributeHeadSize;
        if (length > bytes.size() - data - tnef::kChecksumSize) Damage("an attribute runs past the end", at);
        uint16_t sum = 0;
        for (size_t k = data; k < data + length; ++k) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(bytes[k]));
        if (le::U16(bytes, data + length) != sum) Damage("an attribute's checksum is wrong", at);
        at = data + length + tnef::kChecksumSize;
    }
}

std::string_view BytesOf(const variableLength& value) {
    if (value.data == nullptr || value.size <= 0) return {};
    return {reinterpret_cast<const char*>(value.data), static_cast<size_t>(value.size)};
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

const variableLength* FindProperty(MAPIProps& props, uint16_t type, uint16_t id) {
    const variableLength* found = MAPIFindProperty(&props, PROP_TAG(type, id));
    return found == MAPI_UNDEFINED ? nullptr : found;
}

std::string NameOf(Attachment& attachment, const std::string& codePage) {
    if (const variableLength* wide = FindProperty(attachment.MAPI, tnef::kMapiUnicode, tnef::kMapiAttachLongFileName)) {
        std::string_view bytes = BytesOf(*wide);
        std::string name = ToUtf8(bytes.substr(0, bytes.size() & ~size_t{1}), "UTF-16LE");
        name = std::string(UpToNul(name));
        if (!name.empty()) return name;
    }
    if (const variableLength* narrow = FindProperty(attachment.MAPI, tnef::kMapiString8, tnef::kMapiAttachLongFileName)) {
        std::string_view name = UpToNul(BytesOf(*narrow));
        if (!name.empty()) return ToUtf8(name, codePage);
    }
    return ToUtf8(UpToNul(BytesOf(attachment.Title)), codePage);
}

std::optional<int64_t> UnixTimeOf(const dtr& date) {
    using namespace std::chrono;
    if (date.wYear == 0 || date.wMonth < 1 || date.wMonth > 12 || date.wDay < 1 || date.wDay > 31 ||
        date.wHour > 23 || date.wMinute > 59 || date.wSecond > 60)
        return std::nullopt;
    const year_month_day day{year{date.wYear}, month{date.wMonth}, std::chrono::day{date.wDay}};
    if (!day.ok()) return std::nullopt;
    return sys_days(day).time_since_epoch().count() * int64_t{86400} + date.wHour * 3600 + date.wMinute * 60 +
           date.wSecond;
}

struct TParsedStream {
    TNEFStruct Tnef{};
    TParsedStream() { TNEFInitialize(&Tnef); }
    ~TParsedStream() { TNEFFree(&Tnef); }
    TParsedStream(const TParsedStream&) = delete;
    TParsedStream& operator=(const TParsedStream&) = delete;
};

}  // namespace

bool IsTnefAttachment(std::string_view mediaType, std::string_view fileName) {
    const std::string type = LowerAscii(mediaType);
    return type == "application/ms-tnef" || type == "application/vnd.ms-tnef" || LowerAscii(fileName) == "winmail.dat";
}

std::vector<TTnefFile> UnpackTnef(std::string_view bytes, const std::string& codePage) {
    CheckAttributes(bytes);
    const std::string names = codePage.empty() ? std::string(kDefaultCodePage) : codePage;
    // The library reads from memory it may not change, but takes it without const.
    std::string copy(bytes);
    auto stream = std::make_unique<TParsedStream>();
    stream->Tnef.Debug = 0;
    const int status = TNEFParseMemory(reinterpret_cast<BYTE*>(copy.data()), static_cast<long>(copy.size()),
                                       &stream->Tnef);
    if (status != 0) Damage("libytnef reports error " + std::to_string(status), 0);
    std::vector<TTnefFile> files;
    for (Attachment* attachment = stream->Tnef.starting_attach.next; attachment; attachment = attachment->next) {
        TTnefFile file;
        file.Name = NameOf(*attachment, names);
        file.Data = std::string(BytesOf(attachment->FileData));
        file.Modified = UnixTimeOf(attachment->ModifyDate);
        if (file.Name.empty() && file.Data.empty()) continue;
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace brindle
