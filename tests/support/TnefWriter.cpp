#include "TnefWriter.h"

#include "mime/TnefLayout.h"

namespace brindle::testsupport {
namespace {

void Append16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Append32(std::string& out, uint32_t value) {
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
}

void AppendAttribute(std::string& out, uint8_t level, uint32_t id, const std::string& data, bool badChecksum = false) {
    out += static_cast<char>(level);
    Append32(out, id);
    Append32(out, static_cast<uint32_t>(data.size()));
    out += data;
    uint16_t sum = 0;
    for (char c : data) sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(c));
    Append16(out, badChecksum ? sum ^ 0x5A5A : sum);
}

std::string DateBytes(const TTnefDate& date) {
    std::string bytes;
    for (uint16_t part : {date.Year, date.Month, date.Day, date.Hour, date.Minute, date.Second, uint16_t{0}})
        Append16(bytes, part);
    return bytes;
}

// One MAPI property of 8-bit text: tag, one value, its length (with the NUL), the bytes padded to 4.
std::string LongNameProperties(const std::string& name) {
    std::string bytes;
    Append32(bytes, 1);
    Append16(bytes, tnef::kMapiString8);
    Append16(bytes, tnef::kMapiAttachLongFileName);
    Append32(bytes, 1);
    const std::string value = name + '\0';
    Append32(bytes, static_cast<uint32_t>(value.size()));
    bytes += value;
    bytes.append((4 - value.size() % 4) % 4, '\0');
    return bytes;
}

}  // namespace

std::string BuildTnef(const std::vector<TTnefAttachment>& attachments, const TTnefOptions& options) {
    std::string out;
    Append32(out, options.Signature.value_or(tnef::kSignature));
    Append16(out, 0x0101);  // key
    std::string version;
    Append32(version, 0x00010000);
    AppendAttribute(out, tnef::kLevelMessage, tnef::kTnefVersion, version);
    std::string codePage;
    Append32(codePage, 1252);
    Append32(codePage, 0);
    AppendAttribute(out, tnef::kLevelMessage, tnef::kOemCodePage, codePage);
    AppendAttribute(out, tnef::kLevelMessage, tnef::kMessageClass, std::string("IPM.Note") + '\0');
    for (size_t k = 0; k < attachments.size(); ++k) {
        const TTnefAttachment& attachment = attachments[k];
        std::string render;
        Append16(render, 1);  // a file
        Append32(render, 0xFFFFFFFF);
        Append16(render, 0);
        Append16(render, 0);
        Append32(render, 0);
        AppendAttribute(out, tnef::kLevelAttachment, tnef::kAttachRenderData, render);
        AppendAttribute(out, tnef::kLevelAttachment, tnef::kAttachTitle, attachment.Title + '\0');
        if (attachment.Modified)
            AppendAttribute(out, tnef::kLevelAttachment, tnef::kAttachModifyDate, DateBytes(*attachment.Modified));
        AppendAttribute(out, tnef::kLevelAttachment, tnef::kAttachData, attachment.Data,
                        options.BadChecksumOfData == k);
        if (attachment.LongName)
            AppendAttribute(out, tnef::kLevelAttachment, tnef::kAttachMapiProps, LongNameProperties(*attachment.LongName));
    }
    if (options.TruncateTo && *options.TruncateTo < out.size()) out.resize(*options.TruncateTo);
    return out;
}

}  // namespace brindle::testsupport
