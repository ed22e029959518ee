#include "mime/MoxMsg.h"

#include "mime/BodyWalk.h"
#include "mime/HeaderFields.h"
#include "platform/ContentTypes.h"
#include "platform/Utf8.h"

namespace brindle {
namespace {

constexpr std::string_view kMboxSeparator = "From ";
constexpr size_t kFallbackSenderLength = 72;

// The sender of an mbox separator line ("From alice Mon Jan 1 10:00:00"): the text after the
// first five characters, at most 72 bytes.
std::string FallbackSender(std::string_view firstLine) {
    return Utf8OrCp1252Prefix(firstLine.substr(kMboxSeparator.size()), kFallbackSenderLength);
}

}  // namespace

std::string TAttachedFile::SaveToFile(TTargetFolder& folder, const std::string& name, TIfExists ifExists) const {
    return folder.Write(name, Data, ifExists);
}

TAttachedFile& TAttachedFiles::Add(const std::string& name) {
    auto item = std::make_unique<TAttachedFile>();
    item->PathName = name;
    size_t cut = name.find_last_of("\\:");
    item->FileName = cut == std::string::npos ? name : name.substr(cut + 1);
    item->ContentType = ContentTypeOfFile(name);
    items_.push_back(std::move(item));
    return *items_.back();
}

TMoxMsg::TMoxMsg() = default;
TMoxMsg::~TMoxMsg() = default;
TMoxMsg::TMoxMsg(TMoxMsg&&) noexcept = default;
TMoxMsg& TMoxMsg::operator=(TMoxMsg&&) noexcept = default;

void TMoxMsg::SetRawText(std::string text) { RawMail.AssignAll(std::move(text)); }

void TMoxMsg::SetRawFile(std::shared_ptr<const TByteSource> file) {
    const TByteSource* source = file.get();
    std::string_view bytes = source->All();
    RawMail.AssignAllView(bytes, std::move(file),
                       [source](size_t offset, size_t size) { source->ReleasePages(offset, size); });
}

void TMoxMsg::Parse() {
    if (RawMail.empty()) return;
    const TLineRange raw = RawMail.Lines();
    auto headerEnd = raw.begin();
    while (headerEnd != raw.end() && !(*headerEnd).empty()) ++headerEnd;
    Headers.AppendRange(raw.Between(raw.begin(), headerEnd));
    const TCharsetHints hints([raw] { return FirstDeclaredCharset(raw); }, StoreCodePage);
    ParseHeaders(hints);
    TBodyWalk(*this, hints).ParsePart(raw, 0);
    if (ClearRawMailAfterParse) RawMail.clear();
}

void TMoxMsg::ParseHeaders(const TCharsetHints& hints) {
    if (!Headers.empty() && Headers.front().starts_with(kMboxSeparator)) From = FallbackSender(Headers.front());
    const TLineSpan lines = Headers.Lines();
    auto value = [&](std::string_view name) -> std::optional<std::string> {
        std::optional<std::string> field = FindHeader(name, lines);
        if (!field) return std::nullopt;
        return GetHeaderValue(name, *field);
    };
    if (auto v = value("FROM:")) From = DecodeEncodedWords(*v, hints);
    if (auto v = value("SENDER:")) Sender = NormalizeAddressList(*v, hints);
    if (auto v = value("MESSAGE-ID:")) MessageID = Utf8OrCp1252(*v);
    if (auto v = value("IN-REPLY-TO:")) InReplyTo = Utf8OrCp1252(*v);
    if (auto v = value("RETURN-PATH:")) ReturnPath = Utf8OrCp1252(*v);
    if (auto v = value("REPLY-TO:")) ReplyTo = NormalizeAddressList(*v, hints);
    if (auto v = value("TO:")) {
        SendTo = NormalizeAddressList(*v, hints);
        ShownTo = DecodeEncodedWords(*v, hints);
    }
    if (auto v = value("CC:")) {
        CC = NormalizeAddressList(*v, hints);
        ShownCc = DecodeEncodedWords(*v, hints);
    }
    if (auto v = value("DATE:")) Date = Utf8OrCp1252(*v);
    if (auto v = value("SUBJECT:")) Subject = DecodeEncodedWords(*v, hints);
    TPartHeaders content = GetPartHeaders(lines, hints);
    ContentType = content.ContentType;
    ContentTransferEncoding = content.TransferEncoding;
}

}  // namespace brindle
