#include "mailbox/Rescue.h"

#include "mailbox/MessageFiles.h"
#include "mime/HeaderFields.h"
#include "platform/HeaderBlock.h"
#include "platform/ParallelWork.h"
#include "platform/ReadingPolicy.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "store/MBXReader.h"
#include "store/OEReader.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace brindle {
namespace {

// A header block is looked for in the first KiB of a text, then in the first 8 KiB, then in
// the first 64 KiB: most headers fit the first look, which reads only a block or two.
constexpr size_t kHeaderLooks[] = {1024, 8 * 1024, 64 * 1024};
constexpr size_t kHeaderFirstLook = kHeaderLooks[0];
constexpr size_t kHeaderSearchLimit = kHeaderLooks[std::size(kHeaderLooks) - 1];
constexpr size_t kFileNameMax = 255;
// Mapped pages of the store are given back after reading this many headers, so that memory
// stays bounded also for files of gigabytes.
constexpr size_t kMessagesPerRelease = 4096;
// The headers of at least this many messages are read by two threads.
constexpr size_t kMessagesToShare = 1024;

// The header block: up to the first empty line; none when the text has no empty line.
std::optional<std::string_view> HeaderBlock(std::string_view text) {
    const std::optional<THeaderBlockEnd> end = FindHeaderBlockEnd(text);
    if (!end) return std::nullopt;
    return text.substr(0, end->Header);
}

// The fields decoded as the message object decodes them.
THeaderSummary SummarizeHeaderBlock(std::string_view header, const std::string& codePage) {
    const TStringList lines = SplitLines(header);
    const TCharsetHints hints({}, codePage);
    auto value = [&](std::string_view name) -> std::string {
        std::optional<std::string> field = FindHeader(name, lines.Lines());
        return field ? GetHeaderValue(name, *field) : std::string();
    };
    return {DecodeEncodedWords(value("SUBJECT:"), hints), DecodeEncodedWords(value("FROM:"), hints),
            Utf8OrCp1252(value("DATE:")), Utf8OrCp1252(value("MESSAGE-ID:"))};
}

// Reads a text's beginning for its header: a short look first, longer ones when needed. A
// header block found in a shorter look is the one a longer look finds.
template <typename ReadPrefix, typename CodePageOf>
THeaderSummary SummarizeFoundHeader(ReadPrefix readPrefix, CodePageOf codePageOf) {
    std::string text;
    for (size_t look : kHeaderLooks) {
        text = readPrefix(look);
        if (text.size() < look || HeaderBlock(text)) break;
    }
    return SummarizeHeader(text, codePageOf(text));
}

bool HasEightBitHeader(std::string_view text) {
    text = text.substr(0, kHeaderSearchLimit);
    const std::string_view header = HeaderBlock(text).value_or(text);
    return std::any_of(header.begin(), header.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

}  // namespace

THeaderSummary SummarizeHeader(std::string_view text, const std::string& codePage) {
    text = text.substr(0, kHeaderSearchLimit);
    return SummarizeHeaderBlock(HeaderBlock(text).value_or(text), codePage);
}

TStoreRescue::TStoreRescue(const std::string& path, bool readWhole)
    : file_(readWhole ? TByteSource::OpenFile(path, buffer_, ReadingPolicy().RescueReadWholeUpTo)
                      : TByteSource::OpenFile(path)) {
    if (DetectFileKind(file_->ReadUpTo(0, 4)) != kFileKindOE4) return;
    for (const std::string& indexPath : TMBXReader::IndexFileSpellings(path)) {
        try {
            index_ = TByteSource::OpenFile(indexPath);
            return;
        } catch (const Exception&) {
            // The next spelling, or no index file.
        }
    }
}

TStoreRescue::~TStoreRescue() = default;

bool TStoreRescue::Run(const TScanProgress& progress) { return Read(progress, nullptr); }

bool TStoreRescue::Run(const TScanProgress& progress, const TTextSink& onText) { return Read(progress, &onText); }

const TFoundList& TStoreRescue::Found() const {
    static const TFoundList kNone;
    if (mbxScan_) return mbxScan_->Messages();
    return dbxScan_ ? dbxScan_->Messages() : kNone;
}

bool TStoreRescue::Scan(const TScanProgress& progress) {
    messages_.clear();
    const bool done = ScanFile(progress, true);
    file_->ReleasePages(0, file_->Size());
    return done;
}

bool TStoreRescue::ScanFile(const TScanProgress& progress, bool exactSizes) {
    if (DetectFileKind(file_->ReadUpTo(0, 4)) == kFileKindOE4) {
        mbxScan_ = std::make_unique<mbx::TMbxScan>(*file_, index_.get());
        return mbxScan_->Run(progress);
    }
    dbxScan_ = std::make_unique<dbx::TDbxScan>(*file_, ReadingPolicy().ScanInHalvesFrom, exactSizes);
    return dbxScan_->Run(progress);
}

std::string TStoreRescue::CodePageOf(std::string_view text) const {
    if (!decideCodePage_) return codePage_;
    if (!HasEightBitHeader(text)) return {};
    std::call_once(codePageDecided_, [this] { decidedCodePage_ = decideCodePage_(); });
    return decidedCodePage_;
}

std::string TStoreRescue::TextOf(const TFoundMessage& found, uint64_t maxBytes) const {
    return mbxScan_ ? mbxScan_->Text(found, maxBytes) : dbxScan_->Text(found, nullptr, maxBytes);
}

bool TStoreRescue::Read(const TScanProgress& progress, const TTextSink* onText) {
    messages_.clear();
    // The texts that are read whole give the sizes.
    if (!ScanFile(progress, onText == nullptr)) return false;

    // The headers are read after the whole file was scanned: cancelling still works.
    auto goOn = [&] { return !progress || progress(file_->Size(), file_->Size()); };
    const bool done = onText ? ReadTexts(goOn, *onText) : SummarizeHeaders(goOn);
    file_->ReleasePages(0, file_->Size());
    if (!done) messages_.clear();
    return done;
}

// The messages of a batch lie in file order; far apart, they are read where they are.
void TStoreRescue::PrefetchBatch(size_t first, size_t last, uint64_t tail) const {
    const TFoundList& found = Found();
    const uint64_t span = uint64_t{found[last].Offset} + tail - found[first].Offset;
    if (span <= ReadingPolicy().PrefetchUpTo) file_->PrefetchPages(found[first].Offset, span);
}

bool TStoreRescue::ReadTexts(const std::function<bool()>& goOn, const TTextSink& onText) {
    const TFoundList& found = Found();
    messages_.Reset(found, {0});
    for (size_t i = 0; i < found.size(); ++i) {
        if (i % kMessagesPerRelease == 0) {
            if (i != 0 && !goOn()) return false;
            file_->EndPass(0, file_->Size(), TFollowingPass::OverSameRange);
            const size_t last = std::min(i + kMessagesPerRelease, found.size()) - 1;
            PrefetchBatch(i, last, std::min<uint64_t>(found[last].Size, ReadingPolicy().PrefetchUpTo));
        }
        // The header block lies within the text's first 64 KiB, as SummarizeFoundHeader reads it.
        TRescuedMessage message{found[i], {}};
        std::string text = TextOf(message.Found, UINT64_MAX);
        message.Header = SummarizeHeader(text, CodePageOf(text));
        message.Found.Size = text.size();
        messages_.PutHeader(i, message.Header);
        messages_.SetSize(i, text.size());
        onText(message, std::move(text));
    }
    return true;
}

// Messages [from, to) in batches; the pages each batch read are given back after it.
bool TStoreRescue::SummarizeRange(size_t from, size_t to, const std::function<bool()>& goOn) {
    const TFoundList& found = Found();
    for (size_t i = from; i < to; i += kMessagesPerRelease) {
        if (i != from && !goOn()) return false;
        const size_t last = std::min(i + kMessagesPerRelease, to) - 1;
        PrefetchBatch(i, last, kHeaderFirstLook);
        for (size_t k = i; k <= last; ++k) {
            const TFoundMessage message = found[k];
            messages_.PutHeader(k, SummarizeFoundHeader([&](uint64_t bytes) { return TextOf(message, bytes); },
                                                        [this](std::string_view text) { return CodePageOf(text); }));
        }
        file_->EndPass(found.OffsetAt(i), uint64_t{found.OffsetAt(last)} - found.OffsetAt(i) + kHeaderSearchLimit,
                       TFollowingPass::OverSameRange);
    }
    return true;
}

// Many messages are read in two halves side by side, the second on a thread of its own.
bool TStoreRescue::SummarizeHeaders(const std::function<bool()>& goOn) {
    const size_t count = Found().size();
    const size_t middle = count / 2;
    messages_.Reset(Found(), count < kMessagesToShare ? std::vector<size_t>{0} : std::vector<size_t>{0, middle});
    if (count < kMessagesToShare) return SummarizeRange(0, count, goOn);
    TParallelRun run;
    return RunShares(2, run, [&](size_t half) {
        const bool done = half == 0 ? SummarizeRange(0, middle, [&] { return !run.Cancelled() && goOn(); })
                                    : SummarizeRange(middle, count, [&] { return !run.Cancelled(); });
        if (!done) run.Cancel();
    });
}

std::string TStoreRescue::Text(size_t i) const { return TextOf(messages_.at(i).Found, UINT64_MAX); }

void TRescuedList::Reset(const TFoundList& found, const std::vector<size_t>& partStarts) {
    clear();
    found_ = &found;
    count_ = found.size();
    partStarts_ = partStarts;
    parts_.resize(partStarts_.size());
    scratch_.resize(partStarts_.size());
    for (size_t k = 0; k < parts_.size(); ++k)
        parts_[k].Reset((k + 1 < partStarts_.size() ? partStarts_[k + 1] : count_) - partStarts_[k]);
}

void TRescuedList::clear() {
    found_ = nullptr;
    count_ = 0;
    partStarts_.clear();
    std::vector<TPackedRecords>().swap(parts_);
    std::vector<std::string>().swap(scratch_);
    std::vector<TSizeOverride>().swap(sizes_);
}

size_t TRescuedList::PartOf(size_t i) const {
    return static_cast<size_t>(std::upper_bound(partStarts_.begin(), partStarts_.end(), i) - partStarts_.begin()) - 1;
}

void TRescuedList::PutHeader(size_t i, const THeaderSummary& header) {
    const std::string* const fields[] = {&header.Subject, &header.From, &header.Date, &header.MessageID};
    if (std::all_of(std::begin(fields), std::end(fields), [](const std::string* field) { return field->empty(); }))
        return;
    const size_t part = PartOf(i);
    std::string& packed = scratch_[part];
    packed.clear();
    for (const std::string* field : fields) {
        AppendPackedNumber(packed, field->size());
        packed += *field;
    }
    // Header fields come from the first 64 KiB of a text, so they fit one record.
    parts_[part].Put(i - partStarts_[part], packed);
}

void TRescuedList::SetSize(size_t i, uint64_t size) {
    const auto at = std::lower_bound(sizes_.begin(), sizes_.end(), i,
                                     [](const TSizeOverride& entry, size_t message) { return entry.Message < message; });
    const bool present = at != sizes_.end() && at->Message == i;
    if (size == (*found_)[i].Size) {
        if (present) sizes_.erase(at);
    } else if (present) {
        at->Size = size;
    } else {
        sizes_.insert(at, {i, size});  // at the end when sizes are set in message order
    }
}

TRescuedMessage TRescuedList::operator[](size_t i) const {
    TRescuedMessage message{(*found_)[i], {}};
    const auto size = std::lower_bound(sizes_.begin(), sizes_.end(), i,
                                       [](const TSizeOverride& entry, size_t k) { return entry.Message < k; });
    if (size != sizes_.end() && size->Message == i) message.Found.Size = size->Size;
    const size_t part = PartOf(i);
    const std::optional<std::string_view> packed = parts_[part].Get(i - partStarts_[part]);
    if (!packed) return message;
    size_t at = 0;
    for (std::string* field : {&message.Header.Subject, &message.Header.From, &message.Header.Date,
                               &message.Header.MessageID}) {
        const auto length = static_cast<size_t>(ReadPackedNumber(*packed, at));
        *field = packed->substr(at, length);
        at += length;
    }
    return message;
}

TRescuedMessage TRescuedList::at(size_t i) const {
    if (i >= count_) throw std::out_of_range("rescued message");
    return (*this)[i];
}

std::vector<TRescuedMessage> TRescuedList::ToVector() const { return {begin(), end()}; }

namespace {

std::string LostBytesSentence(uint32_t lost, const char* where) {
    if (lost == 1) return std::string(" 1 byte") + where + " is lost.";
    return " " + std::to_string(lost) + " bytes" + where + " are lost.";
}

}  // namespace

std::string RecoveryNotice(const TFoundMessage& found) {
    if (found.Kind == TFoundKind::Indexed && found.LostBytes == 0) return {};
    if (found.Kind == TFoundKind::Partial) {
        std::string notice =
            "This message breaks off after " + std::to_string(found.Size) + " bytes; the rest was not found.";
        if (found.LostBytes > 0) notice += LostBytesSentence(found.LostBytes, " before that");
        return notice;
    }
    std::string notice =
        found.Kind == TFoundKind::Orphaned ? "Recovered from unindexed space:" : "Recovered from deleted space:";
    return notice + (found.LostBytes > 0 ? LostBytesSentence(found.LostBytes, "") : " no bytes are lost.");
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
