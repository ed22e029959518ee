#include "store/DBXReader.h"

#include "platform/HeaderBlock.h"
#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "store/DBXLayout.h"

#include <limits>

namespace brindle {
namespace {

constexpr const char* kNotMessageDatabase = "File is not an Outlook Express 5 Message Database.";
constexpr const char* kNoMessage = "File does not contain any message.";
constexpr const char* kCountTooLarge = "Message count exceeds what the file can hold.";
constexpr const char* kNoText = "No text found.";
constexpr const char* kIndexOutOfRange = "Message index out of range.";

// The smallest room one message takes in a file: its index entry.
constexpr uint64_t kMinBytesPerMessage = dbx::kEntrySize;
// Mapped pages of walked data blocks are given back after this many blocks.
constexpr uint64_t kBlocksPerRelease = 8192;

// How a message-info entry fills a summary.
enum class TEntryKind : uint8_t { DirectNumber, Number, FileTime, Text };

struct TSummaryEntry {
    uint8_t Field;
    TEntryKind Kind;
    uint32_t TSummaryDraft::*Number;
    TInfoText Text;
};

constexpr TSummaryEntry kSummaryEntries[] = {
    {dbx::kFieldIndex, TEntryKind::DirectNumber, &TSummaryDraft::Index, {}},
    {dbx::kFieldFlags, TEntryKind::Number, &TSummaryDraft::Flags, {}},
    {dbx::kFieldDataOffset, TEntryKind::Number, &TSummaryDraft::DataOffset, {}},
    {dbx::kFieldPriority, TEntryKind::Number, &TSummaryDraft::Priority, {}},
    {dbx::kFieldReceived, TEntryKind::FileTime, nullptr, {}},
    {dbx::kFieldMessageID, TEntryKind::Text, nullptr, TInfoText::MessageID},
    {dbx::kFieldSubject, TEntryKind::Text, nullptr, TInfoText::Subject},
    {dbx::kFieldServer, TEntryKind::Text, nullptr, TInfoText::Server},
    {dbx::kFieldSenderName, TEntryKind::Text, nullptr, TInfoText::SenderName},
    {dbx::kFieldSenderAddress, TEntryKind::Text, nullptr, TInfoText::SenderAddress},
    {dbx::kFieldReceiverName, TEntryKind::Text, nullptr, TInfoText::ReceiverName},
    {dbx::kFieldReceiverAddress, TEntryKind::Text, nullptr, TInfoText::ReceiverAddress},
    {dbx::kFieldAccountName, TEntryKind::Text, nullptr, TInfoText::AccountName},
};

void FillSummary(TSummaryDraft& info, const dbx::TInfoObject& object) {
    for (const TSummaryEntry& entry : kSummaryEntries) {
        switch (entry.Kind) {
            case TEntryKind::DirectNumber:
                if (auto value = object.Number(entry.Field, true, false)) info.*entry.Number = *value;
                break;
            case TEntryKind::Number:
                if (auto value = object.Number(entry.Field)) info.*entry.Number = *value;
                break;
            case TEntryKind::FileTime:
                if (auto value = object.Number64(entry.Field)) info.Received = FileTimeToDateTime(*value);
                break;
            case TEntryKind::Text:
                if (auto text = object.Text(entry.Field)) info.Text(entry.Text) = *text;
                break;
        }
    }
}

TErrorContext MessageContext(size_t index) { return {{}, std::nullopt, static_cast<int64_t>(index)}; }

}  // namespace

TDBXReader::~TDBXReader() = default;

std::string TDBXReader::GetFolderName() { return folderName_; }

int32_t TDBXReader::GetMessageCount() { return static_cast<int32_t>(count_); }

void TDBXReader::Open(const std::string& FileName) {
    count_ = 0;
    folderName_.clear();
    std::vector<uint32_t>().swap(infoOffsets_);
    TOEReader::Open(FileName);
    messages_.Clear();

    const TByteSource& file = Stream();
    std::string_view header =
        WithContext({"file header", 0, std::nullopt}, [&] { return file.Read(0, dbx::kHeaderSize); });
    if (le::U32(header, dbx::kHeaderMagic1) != dbx::kMagic1 || le::U32(header, dbx::kHeaderMagic2) != dbx::kMagic2)
        throw EDBXReaderException(kNotMessageDatabase);
    loaded_ = true;

    const uint32_t root = le::U32(header, dbx::kHeaderRootNode);
    uint64_t count = le::U32(header, dbx::kHeaderMessageCount);
    // A count of 0 over an index tree that holds values is damage, not an empty folder: the
    // tree is read with the count its root gives.
    if (count == 0) {
        count = dbx::IndexTreeCount(file, root);
        if (count == 0) throw EDBXReaderException(kNoMessage);
        if (count <= file.Size() / kMinBytesPerMessage)
            Warn("The header's message count is 0, but the index tree holds " + std::to_string(count) +
                     " messages; they are read.",
                 {"file header", dbx::kHeaderMessageCount, std::nullopt});
    }
    if (count > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) || count > file.Size() / kMinBytesPerMessage)
        throw EDBXReaderException(kCountTooLarge);
    count_ = static_cast<uint32_t>(count);

    std::string_view folder = file.Read(dbx::kFolderAreaOffset, dbx::kFolderAreaSize);
    folderName_ = UpToNul(folder.substr(dbx::kFolderNameStart));

    dbx::ReadIndexTree(file, root, count_, infoOffsets_);
    file.CheckIntact();
}

void TDBXReader::ReadMessageInfos() {
    if (!loaded_) return;
    const TByteSource& file = Stream();
    messages_.Reset(count_, {&file});
    dbx::TBlockChains chains(file);
    uint64_t releasedAt = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        WithContext(MessageContext(i), [&] {
            const uint32_t offset = i < infoOffsets_.size() ? infoOffsets_[i] : 0;
            const dbx::TInfoObject object = dbx::TInfoObject::Read(file, offset);
            TSummaryDraft info;
            FillSummary(info, object);
            bool looped = false;
            if (summarySizes_)
                info.Size = WithContext({"data block", info.DataOffset, std::nullopt},
                                        [&] { return chains.SumTextCounts(info.DataOffset, &looped); });
            // One looping chain hurts only its own message: its size counts each block once.
            if (looped)
                Warn("The message's data block chain leads back to a block already visited; its size counts the "
                     "blocks read once each.",
                     MessageContext(i));
            messages_.Put(i, info);
        });
        if (chains.BlocksWalked() - releasedAt >= kBlocksPerRelease) {
            EndSummaryPass(file, 0, file.Size());
            releasedAt = chains.BlocksWalked();
        }
    }
    EndSummaryPass(file, 0, file.Size());
    file.CheckIntact();
    messages_.Seal();
}

std::string TDBXReader::ReadBlocks(int32_t Index, bool untilHeaderEnd) const {
    if (Index < 0 || static_cast<size_t>(Index) >= messages_.Count()) throw EDBXReaderException(kIndexOutOfRange);
    const size_t i = static_cast<size_t>(Index);
    return WithContext(MessageContext(i), [&] {
        const bool noText = summarySizes_ ? messages_.SizeOf(i) == 0 : messages_.DataOffsetOf(i) == 0;
        if (noText) throw EDBXReaderException(kNoText);
        dbx::TBlockChains chains(Stream());
        std::string text = chains.ReadText(messages_.DataOffsetOf(i), untilHeaderEnd, messages_.SizeOf(i));
        if (text.empty() && !summarySizes_) throw EDBXReaderException(kNoText);
        return text;
    });
}

std::string TDBXReader::GetMessageHeader(int32_t Index) {
    std::string text = ReadBlocks(Index, true);
    const size_t blankLine = StoredHeaderEnd(text);
    if (blankLine == std::string::npos) return {};
    text.resize(blankLine + 1);
    return text;
}

std::string TDBXReader::GetMessageText(int32_t Index) { return ReadBlocks(Index, false); }

}  // namespace brindle
