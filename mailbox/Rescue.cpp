#include "mailbox/Rescue.h"

#include "mailbox/MessageFiles.h"
#include "mime/MoxMsg.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "store/MBXReader.h"
#include "store/OEReader.h"

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

TStoreRescue::TStoreRescue(const std::string& path) : file_(TByteSource::OpenFile(path)) {
    if (DetectFileKind(file_->ReadUpTo(0, 4)) != kFileKindOE4) return;
    const std::string stem = TMBXReader::IndexFileName(path);
    for (const char* extension : {"idx", "IDX", "Idx"}) {
        try {
            index_ = TByteSource::OpenFile(stem.substr(0, stem.size() - 3) + extension);
            return;
        } catch (const Exception&) {
            // The next spelling, or no index file.
        }
    }
}

TStoreRescue::~TStoreRescue() = default;

bool TStoreRescue::Run(const TScanProgress& progress) {
    messages_.clear();
    if (DetectFileKind(file_->ReadUpTo(0, 4)) == kFileKindOE4) {
        mbxScan_ = std::make_unique<mbx::TMbxScan>(*file_, index_.get());
        if (!mbxScan_->Run(progress)) return false;
        for (const TFoundMessage& found : mbxScan_->Messages())
            messages_.push_back({found, SummarizeHeader(mbxScan_->Text(found, kHeaderSearchLimit))});
        return true;
    }
    dbxScan_ = std::make_unique<dbx::TDbxScan>(*file_);
    if (!dbxScan_->Run(progress)) return false;
    messages_.reserve(dbxScan_->Messages().size());
    for (const TFoundMessage& found : dbxScan_->Messages())
        messages_.push_back({found, SummarizeHeader(dbxScan_->Text(found, nullptr, kHeaderSearchLimit))});
    return true;
}

std::string TStoreRescue::Text(size_t i) const {
    const TFoundMessage& found = messages_.at(i).Found;
    return mbxScan_ ? mbxScan_->Text(found) : dbxScan_->Text(found);
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
