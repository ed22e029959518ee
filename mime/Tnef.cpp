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

// What the stream holds for the library, and the long names found in it.
struct TCheckedStream {
    // The signature, the key and only the attributes the files need, each with a sane size:
    // the library tells other damage on standard output, which is not its to write to.
    std::string ForLibrary;
    std::vector<std::optional<std::string>> LongNames;  // per attachment, 8-bit or UTF-8
    std::vector<bool> LongNameIsUtf8;
};

size_t Padded4(size_t size) { return (size + 3) & ~size_t{3}; }

// Bytes of a fixed-size MAPI value type; 0 for a counted or unknown one.
size_t FixedMapiSize(uint16_t type) {
    switch (type) {
        case 0x0002: case 0x0003: case 0x0004: case 0x000A: case 0x000B: return 4;
        case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
        case 0x0048: return 16;
        default: return 0;
    }
}

bool IsCountedMapiType(uint16_t type) {
    return type == tnef::kMapiString8 || type == tnef::kMapiUnicode || type == 0x0102 || type == 0x000D;
}

class TMapiWalk {
public:
    explicit TMapiWalk(std::string_view bytes) : bytes_(bytes) {}

    // The long file name among the properties; throws ETnefError when they do not hold together.
    std::optional<std::pair<std::string, bool>> LongName() {
        const uint32_t count = U32();
        if (count > bytes_.size() / 4) Fail();
        std::optional<std::pair<std::string, bool>> name;
        for (uint32_t k = 0; k < count; ++k) {
            const uint16_t type = U16();
            const uint16_t id = U16();
            if (id >= 0x8000) SkipName();
            const bool multi = (type & 0x1000) != 0;
            const uint16_t base = type & 0x0FFF;
            if (IsCountedMapiType(base)) {
                const uint32_t values = U32();
                if (values > bytes_.size()) Fail();
                for (uint32_t v = 0; v < values; ++v) {
                    const std::string_view value = Take(U32(), true);
                    if (id == tnef::kMapiAttachLongFileName && !multi && v == 0 &&
                        (base == tnef::kMapiString8 || base == tnef::kMapiUnicode))
                        name = {std::string(value), base == tnef::kMapiUnicode};
                }
            } else if (const size_t size = FixedMapiSize(base)) {
                const uint32_t values = multi ? U32() : 1;
                if (values > bytes_.size() / size) Fail();
                Take(values * size, false);
            } else {
                Fail();
            }
        }
        return name;
    }

private:
    [[noreturn]] void Fail() const { throw ETnefError("MAPI properties"); }
    std::string_view Take(size_t size, bool pad) {
        const size_t room = pad ? Padded4(size) : size;
        if (size > bytes_.size() - at_ || room > bytes_.size() - at_) Fail();
        const std::string_view taken = bytes_.substr(at_, size);
        at_ += room;
        return taken;
    }
    uint32_t U32() { return le::U32(Take(4, false), 0); }
    uint16_t U16() { return le::U16(Take(2, false), 0); }
    void SkipName() {
        Take(16, false);
        if (U32() == 0)
            Take(4, false);
        else
            Take(U32(), true);
    }

    std::string_view bytes_;
    size_t at_ = 0;
};

bool KeptForLibrary(uint32_t id, uint32_t length) {
    if (length == 0) return false;
    if (id == tnef::kAttachRenderData) return length == tnef::kRenderDataSize;
    if (id == tnef::kAttachModifyDate) return length == tnef::kDateSize;
    return id == tnef::kAttachTitle || id == tnef::kAttachData;
}

// Every attribute lies inside the stream, has a known level and its checksum right.
TCheckedStream CheckAttributes(std::string_view bytes) {
    if (bytes.size() < tnef::kStreamHeadSize || le::U32(bytes, 0) != tnef::kSignature)
        Damage("it does not begin with the TNEF signature", 0);
    TCheckedStream checked;
    checked.ForLibrary = bytes.substr(0, tnef::kStreamHeadSize);
    size_t at = tnef::kStreamHeadSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < tnef::kAttributeHeadSize + tnef::kChecksumSize) Damage("an attribute is cut short", at);
        const auto level = static_cast<uint8_t>(bytes[at + tnef::kAttributeLevel]);
        if (level != tnef::kLevelMessage && level != tnef::kLevelAttachment)
            Damage("an attribute has the unknown level " + std::to_string(level), at);
        const uint32_t id = le::U32(bytes, at + tnef::kAttributeId);
        const uint32_t length = le::U32(bytes, at + tnef::kAttributeLength);
        const size_t data = at + tnef::kAttributeHeadSize;
        if (length > bytes.size() - data - tnef::kChecksumSize) Damage("an attribute runs past the end", at);
        uint16_t sum = 0;
        for (size_t k = data; k < data + length; ++k) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(bytes[k]));
        if (le::U16(bytes, data + length) != sum) Damage("an attribute's checksum is wrong", at);
        const size_t next = data + length + tnef::kChecksumSize;
        if (level == tnef::kLevelAttachment) {
            if (id == tnef::kAttachRenderData && KeptForLibrary(id, length)) {
                checked.LongNames.emplace_back();
                checked.LongNameIsUtf8.push_back(false);
            }
            if (id == tnef::kAttachMapiProps && !checked.LongNames.empty()) {
                try {
                    if (auto name = TMapiWalk(bytes.substr(data, length)).LongName()) {
                        checked.LongNames.back() = name->first;
                        checked.LongNameIsUtf8.back() = name->second;
                    }
                } catch (const ETnefError&) {
                    Damage("an attachment's MAPI properties do not hold together", at);
                }
            }
            if (KeptForLibrary(id, length)) checked.ForLibrary.append(bytes.substr(at, next - at));
        }
        at = next;
    }
    return checked;
}

std::string_view BytesOf(const variableLength& value) {
    if (value.data == nullptr || value.size <= 0) return {};
    return {reinterpret_cast<const char*>(value.data), static_cast<size_t>(value.size)};
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The long name where the stream has one, else the title.
std::string NameOf(const Attachment& attachment, const std::optional<std::string>& longName, bool longIsUtf16,
                   const std::string& codePage) {
    if (longName) {
        const std::string_view bytes = *longName;
        std::string name = longIsUtf16 ? ToUtf8(bytes.substr(0, bytes.size() & ~size_t{1}), "UTF-16LE")
                                       : ToUtf8(UpToNul(bytes), codePage);
        name = std::string(UpToNul(name));
        if (!name.empty()) return name;
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
    TCheckedStream checked = CheckAttributes(bytes);
    const std::string names = codePage.empty() ? std::string(kDefaultCodePage) : codePage;
    // The library reads from memory it may not change, but takes it without const.
    std::string& copy = checked.ForLibrary;
    auto stream = std::make_unique<TParsedStream>();
    stream->Tnef.Debug = 0;
    const int status = TNEFParseMemory(reinterpret_cast<BYTE*>(copy.data()), static_cast<long>(copy.size()),
                                       &stream->Tnef);
    if (status != 0) Damage("libytnef reports error " + std::to_string(status), 0);
    std::vector<TTnefFile> files;
    size_t number = 0;
    for (Attachment* attachment = stream->Tnef.starting_attach.next; attachment; attachment = attachment->next) {
        const size_t k = number++;
        const bool known = k < checked.LongNames.size();
        TTnefFile file;
        file.Name = NameOf(*attachment, known ? checked.LongNames[k] : std::nullopt, known && checked.LongNameIsUtf8[k],
                           names);
        file.Data = std::string(BytesOf(attachment->FileData));
        file.Modified = UnixTimeOf(attachment->ModifyDate);
        if (file.Name.empty() && file.Data.empty()) continue;
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace brindle
