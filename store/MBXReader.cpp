#include "store/MBXReader.h"

#include "platform/HeaderBlock.h"
#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "platform/TextRules.h"
#include "store/MBXLayout.h"
#include "store/MBXScan.h"
#include "store/MessageFlags.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace brindle {
namespace {

constexpr const char* kNotMessageDatabase = "File is not an Outlook Express 4 Message Database.";
constexpr const char* kNoMessage = "File does not contain any message.";
constexpr const char* kCountTooLarge = "Message count exceeds what the file can hold.";
constexpr const char* kNoText = "No text found.";
constexpr const char* kRecordsOverlap = "Message records overlap.";
constexpr const char* kIndexOutOfRange = "Message index out of range.";

constexpr std::string_view kBlankLine = kStoredBlankLine;
// Mapped pages of scanned records are given back after this many records.
constexpr uint32_t kRecordsPerRelease = 256;
// Slack of the scan budget beyond twice the file size.
constexpr uint64_t kScanSlack = uint64_t{1} << 20;

size_t FileNameStart(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The position of the last extension's dot in the file name part, or npos.
size_t ExtensionStart(const std::string& path) {
    size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < FileNameStart(path) ? std::string::npos : dot;
}

}  // namespace

TMBXReader::~TMBXReader() {
    // The summaries may refer to the index file.
    messages_.Clear();
}

std::string TMBXReader::IndexFileName(const std::string& FileName) {
    return FileName.substr(0, ExtensionStart(FileName)) + ".idx";
}

// Folders copied from case-insensitive file systems often come as INBOX.MBX with INBOX.IDX, so
// the index is looked for under the usual spellings of its extension too.
std::vector<std::string> TMBXReader::IndexFileSpellings(const std::string& FileName) {
    const std::string stem = FileName.substr(0, ExtensionStart(FileName));
    return {stem + ".idx", stem + ".IDX", stem + ".Idx"};
}

std::string TMBXReader::FindIndexFile() const {
    for (std::string& candidate : IndexFileSpellings(fileName_))
        if (FileExists(candidate)) return candidate;
    return {};
}

std::string TMBXReader::GetFolderName() {
    const size_t start = FileNameStart(fileName_);
    const size_t dot = ExtensionStart(fileName_);
    return fileName_.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

int32_t TMBXReader::GetMessageCount() { return static_cast<int32_t>(count_); }

void TMBXReader::Open(const std::string& FileName) {
    count_ = 0;
    std::vector<TRecordPlace>().swap(records_);
    std::vector<std::pair<uint32_t, uint64_t>>().swap(arenaHeaders_);
    std::string().swap(headerArena_);
    messages_.Clear();
    index_.reset();
    TOEReader::Open(FileName);

    const TByteSource& file = Stream();
    std::string_view header = file.Read(0, mbx::kHeaderSize);
    if (le::U32(header, mbx::kHeaderMagic) != mbx::kMagic) throw EMBXReaderException(kNotMessageDatabase);
    loaded_ = true;

    const uint32_t count = le::U32(header, mbx::kHeaderCount);
    if (count == 0) throw EMBXReaderException(kNoMessage);
    if (count > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) ||
        count > (file.Size() - mbx::kHeaderSize) / mbx::kMinRecordSize)
        throw EMBXReaderException(kCountTooLarge);
    count_ = count;
    ScanRecords();
}

void TMBXReader::ScanRecords() {
    const TByteSource& file = Stream();
    // Sound records do not overlap, so finding every header block reads each byte at most once.
    scanBudget_ = 2 * file.Size() + kScanSlack;
    uint64_t textOffset = mbx::kHeaderSize + mbx::kRecordHeadSize;
    uint64_t released = 0;
    // Open checked that the file can hold count_ records.
    records_.reserve(count_);
    for (uint32_t n = 0; n < count_; ++n) {
        const uint64_t headOffset = textOffset - mbx::kRecordHeadSize;
        // Records lie at 32-bit offsets, as the index file gives them.
        if (!file.Has(headOffset, mbx::kRecordHeadSize) || textOffset > std::numeric_limits<uint32_t>::max()) break;
        const TMBX_MessageInfo record = RecordAt(file, textOffset);
        records_.push_back({static_cast<uint32_t>(textOffset), 0});
        records_.back().HeaderLength = WithContext({"message record", headOffset, static_cast<int64_t>(n)},
                                                   [&] { return ReadHeaderText(record); });
        // A record shorter than its own head cannot lead to the next one.
        if (record.RecordLength < mbx::kRecordHeadSize) {
            if (n + 1 < count_)
                Warn("A message record is shorter than its own head; the records after it are not read.",
                     {"message record", headOffset, static_cast<int64_t>(n)});
            break;
        }
        const uint64_t next =
            mbx::NextRecordAfter(file.All(), headOffset, record.RecordLength, record.TextLength);
        if (next != headOffset + record.RecordLength)
            Warn("A message record's length runs past the record after it; reading goes on at that record.",
                 {"message record", headOffset, static_cast<int64_t>(n)});
        textOffset = next + mbx::kRecordHeadSize;
        if ((n + 1) % kRecordsPerRelease == 0 && headOffset > released) {
            EndSummaryPass(file, released, headOffset - released);
            released = headOffset;
        }
    }
    EndSummaryPass(file, 0, file.Size());
    file.CheckIntact();
    if (records_.size() < count_)
        Warn("Found " + std::to_string(records_.size()) + " of " + std::to_string(count_) + " message records.",
             {"message record", textOffset - mbx::kRecordHeadSize, static_cast<int64_t>(records_.size())});
}

void TMBXReader::ChargeScan(uint64_t bytes) {
    if (bytes > scanBudget_) throw EMBXReaderException(kRecordsOverlap);
    scanBudget_ -= bytes;
}

uint32_t TMBXReader::ReadHeaderText(const TMBX_MessageInfo& record) {
    if (record.TextLength == 0) throw EMBXReaderException(kNoText);
    if (const std::optional<uint32_t> length = FindContiguousHeader(record)) return *length;
    return AssembleHeaderFromPieces(record);
}

// Without a NUL before the blank line, the pieces put together are the text itself, so the
// header block is a plain prefix of the text; the pieces that reading it would take must
// still lie within the file.
std::optional<uint32_t> TMBXReader::FindContiguousHeader(const TMBX_MessageInfo& record) {
    const TByteSource& file = Stream();
    const uint64_t start = record.TextOffset;
    const uint64_t end = std::min<uint64_t>(start + record.TextLength, file.Size());
    std::string_view region = file.All().substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
    const size_t blankLine = region.find(kBlankLine);
    const size_t scanned = blankLine == std::string_view::npos ? region.size() : blankLine + kBlankLine.size();
    // Charged before the NUL test: the search has read these bytes also when the pieces then
    // have to be put together.
    ChargeScan(scanned);
    if (std::memchr(region.data(), 0, scanned) != nullptr) return std::nullopt;

    uint64_t piecesEnd = record.TextLength;
    if (blankLine != std::string_view::npos) {
        const uint64_t lastByte = blankLine + kBlankLine.size() - 1;
        piecesEnd = std::min<uint64_t>((lastByte / mbx::kHeaderPieceSize + 1) * mbx::kHeaderPieceSize, piecesEnd);
    }
    if (start + piecesEnd > file.Size()) throw EReadError();
    return blankLine == std::string_view::npos ? 0 : static_cast<uint32_t>(blankLine + 1);
}

uint32_t TMBXReader::AssembleHeaderFromPieces(const TMBX_MessageInfo& record) {
    const TByteSource& file = Stream();
    std::string text;
    for (uint64_t done = 0; done < record.TextLength; done += mbx::kHeaderPieceSize) {
        const uint64_t length = std::min<uint64_t>(mbx::kHeaderPieceSize, record.TextLength - done);
        std::string_view piece = file.Read(record.TextOffset + done, length);
        ChargeScan(length);
        const size_t searchFrom = text.size() < 3 ? 0 : text.size() - 3;
        text.append(UpToNul(piece));
        if (text.find(kBlankLine, searchFrom) != std::string::npos) break;
    }
    const size_t blankLine = text.find(kBlankLine);
    if (blankLine == std::string::npos) return 0;
    // The record being read is the last one found.
    arenaHeaders_.push_back({static_cast<uint32_t>(records_.size() - 1), headerArena_.size()});
    headerArena_.append(text, 0, blankLine + 1);
    return static_cast<uint32_t>(blankLine + 1);
}

TMBX_MessageInfo TMBXReader::RecordAt(const TByteSource& file, uint64_t textOffset) {
    std::string_view head = file.Read(textOffset - mbx::kRecordHeadSize, mbx::kRecordHeadSize);
    TMBX_MessageInfo record;
    record.Tag = le::U32(head, mbx::kRecordTag);
    record.MessageNumber = le::U32(head, mbx::kRecordNumber);
    record.RecordLength = le::U32(head, mbx::kRecordLength);
    record.TextLength = le::U32(head, mbx::kRecordTextLength);
    record.TextOffset = textOffset;
    // A file cut short while open reads as zeros past its new end.
    file.CheckIntact();
    return record;
}

TMBX_MessageInfo TMBXReader::MessageRecord(size_t Index) const { return RecordAt(Stream(), records_[Index].TextOffset); }

std::string_view TMBXReader::HeaderText(size_t Index) const {
    const TRecordPlace& place = records_[Index];
    const auto inArena = std::lower_bound(arenaHeaders_.begin(), arenaHeaders_.end(),
                                          std::make_pair(static_cast<uint32_t>(Index), uint64_t{0}));
    if (inArena != arenaHeaders_.end() && inArena->first == Index)
        return std::string_view(headerArena_).substr(static_cast<size_t>(inArena->second), place.HeaderLength);
    if (place.HeaderLength == 0) return {};
    return Stream().All().substr(place.TextOffset, place.HeaderLength);
}

std::string TMBXReader::GetMessageHeader(int32_t Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= records_.size()) return {};
    std::string header(HeaderText(static_cast<size_t>(Index)));
    Stream().CheckIntact();
    return header;
}

std::string TMBXReader::GetMessageText(int32_t Index) {
    if (Index < 0 || static_cast<size_t>(Index) >= records_.size()) throw EMBXReaderException(kIndexOutOfRange);
    const uint64_t textOffset = records_[static_cast<size_t>(Index)].TextOffset;
    return WithContext({"message record", textOffset - mbx::kRecordHeadSize, Index}, [&] {
        const TMBX_MessageInfo record = MessageRecord(static_cast<size_t>(Index));
        if (record.TextLength == 0) throw EMBXReaderException(kNoText);
        std::string text(Stream().Read(record.TextOffset, record.TextLength));
        Stream().CheckIntact();
        return text;
    });
}

void TMBXReader::ReadMessageInfos() {
    if (!loaded_) return;
    messages_.Clear();
    index_.reset();
    messages_.Reset(count_, {&Stream()});
    const std::string indexName = FindIndexFile();
    if (!indexName.empty())
        ReadFromIndexFile(indexName);
    else
        ReadFromHeaderLines();
    if (index_ && !messages_.RefersTo(index_.get())) {
        messages_.DropSource(index_.get());
        index_.reset();
    }
    messages_.Seal();
}

// Any failure of the index file ends the summaries there, with a warning; the summaries built
// so far stay.
void TMBXReader::ReadFromIndexFile(const std::string& indexName) {
    TSummaryDraft draft;
    std::string messageId;
    bool drafting = false;
    uint32_t i = 0;
    uint64_t pos = 0;
    try {
        index_ = OpenOther(indexName);
        messages_.AddSource(index_.get());
        const TByteSource& index = *index_;
        std::string_view header = index.Read(0, mbx::kIdxHeaderSize);
        if (le::U32(header, mbx::kIdxHeaderMagic) != mbx::kIdxMagic) {
            Warn("The index file " + indexName + " is not a version 4 index file; its summaries are not read.",
                 {"index file header", 0, std::nullopt});
            return;
        }
        const uint32_t records = le::U32(header, mbx::kIdxHeaderCount);
        pos = mbx::kIdxHeaderSize;
        for (i = 0; i < records && i < count_; ++i) {
            draft = {};
            drafting = true;
            std::string_view fixed = index.Read(pos, mbx::kIdxFixedSize);
            draft.Flags = le::U32(fixed, mbx::kIdxFlags);
            draft.DataOffset = le::U32(fixed, mbx::kIdxTextOffset);
            draft.Size = le::U32(fixed, mbx::kIdxTextSize);
            draft.Priority = le::U16(fixed, mbx::kIdxPriority);
            messageId = std::to_string(le::U32(fixed, mbx::kIdxMessageNumber));
            draft.Text(TInfoText::MessageID) = messageId;
            draft.Received = FileTimeToDateTime(le::U64(fixed, mbx::kIdxReceived));

            uint64_t at = pos + mbx::kIdxFixedSize;
            for (uint32_t s = 0; s < mbx::kIdxStringCount; ++s) {
                const uint32_t length = le::U32(index.Read(at, 4), 0);
                // Texts are kept to 255 bytes, so no more is searched for their NUL.
                std::string_view text = UpToNul(index.Read(at + 4, length).substr(0, kShortStringMax));
                at += 4 + uint64_t{length};
                switch (s) {
                    case mbx::kIdxStringSubject: draft.Text(TInfoText::Subject) = text; break;
                    case mbx::kIdxStringReceiverAddress: draft.Text(TInfoText::ReceiverAddress) = text; break;
                    case mbx::kIdxStringSenderAddress: draft.Text(TInfoText::SenderAddress) = text; break;
                    case mbx::kIdxStringServer: draft.Text(TInfoText::Server) = text; break;
                    case mbx::kIdxStringAccount: draft.Text(TInfoText::AccountName) = text; break;
                    default: break;
                }
            }
            messages_.Put(i, draft);
            drafting = false;
            pos = uint64_t{le::U32(fixed, mbx::kIdxOwnOffset)} + le::U32(fixed, mbx::kIdxRecordLength);
        }
        if (index_) index_->CheckIntact();
    } catch (const Exception& error) {
        if (drafting) messages_.Put(i, draft);
        Warn("The index file " + indexName + " is damaged: " + error.Message() + " The summaries from message " +
                 std::to_string(i) + " on are incomplete.",
             {"index file record", pos, static_cast<int64_t>(i)});
    }
}

void TMBXReader::ReadFromHeaderLines() {
    const size_t found = std::min<size_t>(count_, records_.size());
    for (size_t i = 0; i < found; ++i) {
        const TMBX_MessageInfo record = MessageRecord(i);
        TSummaryDraft draft;
        ForEachLineOfBytes(HeaderText(i), [&](std::string_view line) {
            if (StartsWithNoCase(line, "FROM:"))
                draft.Text(TInfoText::SenderName) = line.substr(5);
            else if (StartsWithNoCase(line, "SUBJECT:"))
                draft.Text(TInfoText::Subject) = line.substr(8);
            else if (StartsWithNoCase(line, "DATE:"))
                draft.Text(TInfoText::DateText) = line.substr(5);
        });
        const std::string messageId = std::to_string(record.MessageNumber);
        draft.Index = static_cast<uint32_t>(i);
        draft.Flags = kFlagRead;
        draft.DataOffset = static_cast<uint32_t>(record.TextOffset);
        draft.Text(TInfoText::MessageID) = messageId;
        draft.Size = record.TextLength;
        messages_.Put(i, draft);
    }
}

}  // namespace brindle
