#include "store/DBXReader.h"

#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "store/ChainGuard.h"
#include "store/DBXLayout.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

namespace brindle {
namespace {

constexpr const char* kNotMessageDatabase = "File is not an Outlook Express 5 Message Database.";
constexpr const char* kNoMessage = "File does not contain any message.";
constexpr const char* kCountTooLarge = "Message count exceeds what the file can hold.";
constexpr const char* kTooManyToRead = "Too many values to read.";
constexpr const char* kWrongMarker = "Wrong object marker.";
constexpr const char* kWrongParent = "Wrong parent.";
constexpr const char* kWrongEntries = "Wrong value for entries.";
constexpr const char* kTooManyValues = "Too many values.";
constexpr const char* kWrongValueCount = "Wrong number of values found";
constexpr const char* kNodeVisited = "Index tree leads back to a node already visited.";
constexpr const char* kTreeTooDeep = "Index tree is nested too deeply.";
constexpr const char* kBlockVisited = "Data block chain leads back to a block already visited.";
constexpr const char* kNoText = "No text found.";
constexpr const char* kIndexOutOfRange = "Message index out of range.";
constexpr const char* kTextTooLong = "Message text is longer than the file.";

// A tree of 2^32 values needs fewer than 8 levels; deeper trees are damaged.
constexpr unsigned kMaxTreeDepth = 64;
// The smallest room one message takes in a file: its index entry.
constexpr uint64_t kMinBytesPerMessage = dbx::kEntrySize;
// Mapped pages of walked data blocks are given back after this many blocks.
constexpr uint64_t kBlocksPerRelease = 8192;
// How many blocks ahead the size walk asks for block heads.
constexpr uint64_t kPrefetchBlocks = 8;

const uint8_t* Bytes(std::string_view view) {
    return reinterpret_cast<const uint8_t*>(view.data());
}

// The text at pos of the data area: up to its first NUL, the end of the body or 255 bytes.
std::string_view TextAt(std::string_view body, uint64_t pos) {
    return UpToNul(body.substr(pos, kShortStringMax));
}

TSummaryDraft& SetText(TSummaryDraft& info, uint8_t id, std::string_view text) {
    switch (id) {
        case dbx::kIdMessageID: info.Text(TInfoText::MessageID) = text; break;
        case dbx::kIdSubject: info.Text(TInfoText::Subject) = text; break;
        case dbx::kIdServer: info.Text(TInfoText::Server) = text; break;
        case dbx::kIdSenderName: info.Text(TInfoText::SenderName) = text; break;
        case dbx::kIdSenderAddress: info.Text(TInfoText::SenderAddress) = text; break;
        case dbx::kIdReceiverName: info.Text(TInfoText::ReceiverName) = text; break;
        case dbx::kIdReceiverAddress: info.Text(TInfoText::ReceiverAddress) = text; break;
        case dbx::kIdAccountName: info.Text(TInfoText::AccountName) = text; break;
        default: break;
    }
    return info;
}

bool IsTextId(uint8_t id) {
    switch (id) {
        case dbx::kIdMessageID:
        case dbx::kIdSubject:
        case dbx::kIdServer:
        case dbx::kIdSenderName:
        case dbx::kIdSenderAddress:
        case dbx::kIdReceiverName:
        case dbx::kIdReceiverAddress:
        case dbx::kIdAccountName: return true;
        default: return false;
    }
}

// The number field that an id fills, direct or indirect; null for other ids.
uint32_t* NumberField(TSummaryDraft& info, uint8_t id) {
    switch (id) {
        case dbx::kIdIndex: return &info.Index;
        case dbx::kIdFlags:
        case dbx::kIdFlagsDirect: return &info.Flags;
        case dbx::kIdDataOffset:
        case dbx::kIdDataOffsetDirect: return &info.DataOffset;
        case dbx::kIdPriority:
        case dbx::kIdPriorityDirect: return &info.Priority;
        default: return nullptr;
    }
}

// Decodes one entry of the table; entries whose data lies outside the body are skipped.
void DecodeEntry(TSummaryDraft& info, uint8_t id, uint32_t value, std::string_view body, uint64_t dataStart) {
    if (id == dbx::kIdIndex || id == dbx::kIdFlagsDirect || id == dbx::kIdDataOffsetDirect ||
        id == dbx::kIdPriorityDirect) {
        *NumberField(info, id) = value;
        return;
    }
    if (id & dbx::kDirectForm) return;
    const uint64_t pos = dataStart + value;
    if (uint32_t* field = NumberField(info, id)) {
        if (pos + 4 <= body.size()) *field = le::U32(body, static_cast<size_t>(pos));
    } else if (id == dbx::kIdReceived) {
        if (pos + 8 <= body.size()) info.Received = FileTimeToDateTime(le::U64(body, static_cast<size_t>(pos)));
    } else if (IsTextId(id)) {
        if (pos < body.size()) SetText(info, id, TextAt(body, pos));
    }
}

}  // namespace

struct TDBXReader::TIndexWalk {
    uint64_t Count;
    std::unordered_set<uint32_t> Visited;
};

TDBXReader::~TDBXReader() = default;

std::string TDBXReader::GetFolderName() {
    return folderName_;
}

int32_t TDBXReader::GetMessageCount() {
    return static_cast<int32_t>(count_);
}

void TDBXReader::Open(const std::string& FileName) {
    count_ = 0;
    folderName_.clear();
    std::vector<uint32_t>().swap(infoOffsets_);
    TOEReader::Open(FileName);
    messages_.Clear();

    const TByteSource& file = Stream();
    std::string_view header = file.Read(0, dbx::kHeaderSize);
    if (le::U32(header, dbx::kHeaderMagic1) != dbx::kMagic1 || le::U32(header, dbx::kHeaderMagic2) != dbx::kMagic2)
        throw EDBXReaderException(kNotMessageDatabase);
    loaded_ = true;

    const uint32_t count = le::U32(header, dbx::kHeaderMessageCount);
    if (count == 0) throw EDBXReaderException(kNoMessage);
    if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        count > file.Size() / kMinBytesPerMessage)
        throw EDBXReaderException(kCountTooLarge);
    count_ = count;

    std::string_view folder = file.Read(dbx::kFolderAreaOffset, dbx::kFolderAreaSize);
    folderName_ = UpToNul(folder.substr(dbx::kFolderNameStart));

    infoOffsets_.assign(count_, 0);
    ReadIndexTree(le::U32(header, dbx::kHeaderRootNode), count_);
}

void TDBXReader::ReadIndexTree(uint32_t Root, uint32_t Count) {
    TIndexWalk walk{Count, {}};
    ReadIndexNode(walk, 0, Root, 0, Count, 0);
}

void TDBXReader::ReadIndexNode(TIndexWalk& walk, uint32_t Parent, uint32_t Position, uint64_t Start,
                               uint64_t Expected, unsigned Depth) {
    if (Start + Expected > walk.Count) throw EDBXReaderException(kTooManyToRead);
    std::string_view node = Stream().Read(Position, dbx::kNodeSize);
    if (le::U32(node, dbx::kNodeMarker) != Position) throw EDBXReaderException(kWrongMarker);
    if (le::U32(node, dbx::kNodeParent) != Parent) throw EDBXReaderException(kWrongParent);
    const uint8_t entries = Bytes(node)[dbx::kNodeEntryCount];
    if (entries > dbx::kNodeMaxEntries) throw EDBXReaderException(kWrongEntries);
    if (!walk.Visited.insert(Position).second) throw EDBXReaderException(kNodeVisited);
    if (Depth >= kMaxTreeDepth) throw EDBXReaderException(kTreeTooDeep);

    uint64_t found = 0;
    const uint32_t firstChild = le::U32(node, dbx::kNodeFirstChild);
    if (firstChild != 0) {
        const uint32_t childCount = le::U32(node, dbx::kNodeFirstChildCount);
        ReadIndexNode(walk, Position, firstChild, Start, childCount, Depth + 1);
        found += childCount;
    }
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t at = dbx::kNodeEntries + e * dbx::kEntrySize;
        const uint32_t value = le::U32(node, at + dbx::kEntryValue);
        if (value != 0) {
            ++found;
            if (Start + found > walk.Count) throw EDBXReaderException(kTooManyValues);
            infoOffsets_[static_cast<size_t>(Start + found - 1)] = value;
        }
        const uint32_t child = le::U32(node, at + dbx::kEntryChild);
        if (child != 0) {
            const uint32_t childCount = le::U32(node, at + dbx::kEntryChildCount);
            ReadIndexNode(walk, Position, child, Start + found, childCount, Depth + 1);
            found += childCount;
        }
    }
    if (found != Expected) throw EDBXReaderException(kWrongValueCount);
}

void TDBXReader::ReadMessageInfos() {
    if (!loaded_) return;
    const TByteSource& file = Stream();
    messages_.Reset(count_, {&file});
    // A sound file holds each data block once, and no more blocks than it has bytes.
    uint64_t blockBudget = file.Size();
    uint64_t releasedAt = blockBudget;
    for (uint32_t i = 0; i < count_; ++i) {
        TSummaryDraft info;
        DecodeMessageInfo(i < infoOffsets_.size() ? infoOffsets_[i] : 0, info, blockBudget);
        messages_.Put(i, info);
        if (releasedAt - blockBudget >= kBlocksPerRelease) {
            file.ReleasePages(0, file.Size());
            releasedAt = blockBudget;
        }
    }
    file.ReleasePages(0, file.Size());
    messages_.Seal();
}

void TDBXReader::DecodeMessageInfo(uint32_t Offset, TSummaryDraft& Info, uint64_t& blockBudget) const {
    Info = {};
    const TByteSource& file = Stream();
    std::string_view head = file.Read(Offset, dbx::kInfoHeadSize);
    if (le::U32(head, dbx::kInfoMarker) != Offset) throw EDBXReaderException(kWrongMarker);
    const uint16_t bodyLength = le::U16(head, dbx::kInfoBodyLength);
    const uint8_t entries = Bytes(head)[dbx::kInfoEntryCount];
    std::string_view body = file.Read(uint64_t{Offset} + dbx::kInfoHeadSize, bodyLength);

    const uint64_t dataStart = uint64_t{entries} * dbx::kInfoEntrySize;
    for (uint32_t k = 0; k < entries && (k + 1) * dbx::kInfoEntrySize <= bodyLength; ++k) {
        const size_t at = k * dbx::kInfoEntrySize;
        DecodeEntry(Info, Bytes(body)[at], le::U24(body, at + 1), body, dataStart);
    }
    Info.Size = SumBlockCounts(Info.DataOffset, blockBudget);
}

uint32_t TDBXReader::SumBlockCounts(uint32_t first, uint64_t& blockBudget) const {
    const TByteSource& file = Stream();
    const uint8_t* bytes = Bytes(file.All());
    const uint64_t fileSize = file.Size();
    uint32_t size = 0;
    TChainGuard guard(first);
    for (uint32_t block = first; block != 0;) {
        if (blockBudget == 0) throw EDBXReaderException(kBlockVisited);
        --blockBudget;
        if (block > fileSize || fileSize - block < dbx::kBlockHeadSize) throw EReadError();
        const uint8_t* head = bytes + block;
        if (le::U32(head + dbx::kBlockMarker) != block) throw EDBXReaderException(kWrongMarker);
        size += le::U32(head + dbx::kBlockTextCount);
        const uint32_t next = le::U32(head + dbx::kBlockNext);
        // Chains usually run forward through evenly spaced blocks: ask for the heads a few
        // blocks ahead while this one is handled.
        const uint64_t ahead = uint64_t{next} + kPrefetchBlocks * (uint64_t{next} - block);
        if (next > block && ahead < fileSize) __builtin_prefetch(bytes + ahead);
        block = next;
        if (block != 0 && !guard.Advance(block)) throw EDBXReaderException(kBlockVisited);
    }
    return size;
}

std::string TDBXReader::ReadBlocks(int32_t Index, bool untilHeaderEnd) const {
    if (Index < 0 || static_cast<size_t>(Index) >= messages_.Count()) throw EDBXReaderException(kIndexOutOfRange);
    const size_t i = static_cast<size_t>(Index);
    if (messages_.SizeOf(i) == 0) throw EDBXReaderException(kNoText);

    const TByteSource& file = Stream();
    std::string text;
    // A size beyond the file comes from block counts that the reading below will reject.
    if (!untilHeaderEnd && messages_.SizeOf(i) <= file.Size()) text.reserve(messages_.SizeOf(i));
    const uint32_t first = messages_.DataOffsetOf(i);
    TChainGuard guard(first);
    for (uint32_t block = first; block != 0;) {
        std::string_view head = file.Read(block, dbx::kBlockHeadSize);
        const uint32_t count = le::U32(head, dbx::kBlockTextCount);
        std::string_view bytes = UpToNul(file.Read(uint64_t{block} + dbx::kBlockHeadSize, count));
        if (bytes.size() > file.Size() - text.size()) throw EDBXReaderException(kTextTooLong);
        const size_t searchFrom = text.size() < 3 ? 0 : text.size() - 3;
        text.append(bytes);
        if (untilHeaderEnd && text.find("\r\n\r\n", searchFrom) != std::string::npos) break;
        block = le::U32(head, dbx::kBlockNext);
        if (block != 0 && !guard.Advance(block)) throw EDBXReaderException(kBlockVisited);
    }
    return text;
}

std::string TDBXReader::GetMessageHeader(int32_t Index) {
    std::string text = ReadBlocks(Index, true);
    const size_t blankLine = text.find("\r\n\r\n");
    if (blankLine == std::string::npos) return {};
    text.resize(blankLine + 1);
    return text;
}

std::string TDBXReader::GetMessageText(int32_t Index) {
    return ReadBlocks(Index, false);
}

}  // namespace brindle
