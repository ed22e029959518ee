#include "mailbox/Rescue.h"

#include "mailbox/MessageFiles.h"
#include "mime/MoxMsg.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"

#include <cstdio>

namespace brindle {
namespace {

constexpr size_t kHeaderSearchLimit = 64 * 1024;
constexpr size_t kFileNameMax = 255;

// The header block: up to the first empty line, or the whole (limited) text.
std::string_view HeaderBlock(std::string_view text) {
    text = text.substr(0, kHeaderSearchLimit);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = FindLineEnd(text, pos);
        if (end == std::string_view::npos) break;
        if (end == pos) return text.substr(0, pos);
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return text;
}

}  // namespace

THeaderSummary SummarizeHeader(std::string_view text) {
    TMoxMsg message;
    message.RawMail = SplitLines(HeaderBlock(text));
    message.Parse();
    return {message.Subject, message.From, message.Date, message.MessageID};
}

TStoreRescue::TStoreRescue(const std::string& path) : file_(TByteSource::OpenFile(path)) {}

TStoreRescue::~TStoreRescue() = default;

bool TStoreRescue::Run(const TScanProgress& progress) {
    messages_.clear();
    scan_ = std::make_unique<dbx::TDbxScan>(*file_);
    if (!scan_->Run(progress)) return false;
    messages_.reserve(scan_->Messages().size());
    for (const TFoundMessage& found : scan_->Messages())
        messages_.push_back({found, SummarizeHeader(scan_->Text(found, nullptr, kHeaderSearchLimit))});
    return true;
}

std::string TStoreRescue::Text(size_t i) const {
    return scan_->Text(messages_.at(i).Found);
}

std::string RecoveredFileName(const TRescuedMessage& message) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%s_%08X_", FoundKindName(message.Found.Kind), message.Found.Offset);
    constexpr std::string_view suffix = ".eml";
    const std::string subject = SafeFileNamePart(message.Header.Subject);
    const size_t room = kFileNameMax - std::string_view(prefix).size() - suffix.size();
    return prefix + std::string(Utf8Prefix(subject, room)) + std::string(suffix);
}

}  // namespace brindle
