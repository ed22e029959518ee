#pragma once
// The summaries of one folder, kept compactly: the numbers of each message in a small fixed
// record and its texts in one shared arena. A TMessageInfo is built on request.
#include "platform/ByteSource.h"
#include "store/PackedRecords.h"
#include "store/MessageInfo.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// The text fields of a summary, in the order of TMessageInfo.
enum class TInfoText : uint8_t {
    MessageID,
    Subject,
    Server,
    SenderName,
    SenderAddress,
    DateText,
    ReceiverName,
    ReceiverAddress,
    AccountName,
};
inline constexpr size_t kInfoTextCount = 9;

// One summary while a reader builds it. The texts are views that need to stay valid only
// until the draft has been put into the store.
struct TSummaryDraft {
    uint32_t Index = 0;
    uint32_t Flags = 0;
    uint32_t DataOffset = 0;
    uint32_t Size = 0;
    uint32_t Priority = 0;
    TDateTime Received = 0;
    std::array<std::string_view, kInfoTextCount> Texts{};

    std::string_view& Text(TInfoText field) { return Texts[static_cast<size_t>(field)]; }
};

// Each summary is packed into one byte string: a mask of the numbers that are not 0, those
// numbers as variable-length integers, then a mask of the texts that are not empty and each
// text (its bytes, a place in a source, or a decimal number as its value), kept as packed
// records. A summary of a tiny message takes a dozen bytes or so.
class TSummaryStore {
public:
    // Empties the store and makes room for count all-empty summaries. Texts that lie inside
    // one of the sources may later be kept as a place in that source instead of a copy; the
    // sources must then outlive the store's contents.
    void Reset(size_t count, std::vector<const TByteSource*> sources);
    void Clear();

    // Adds a source after Reset (the index file of a folder).
    void AddSource(const TByteSource* source);
    // True when some summary keeps a text as a place in this source.
    bool RefersTo(const TByteSource* source) const;
    // Forgets the last source added when no summary refers to it, so that it can be closed.
    void DropSource(const TByteSource* source);

    // Stores a summary at position i (i < Count()); texts are cut to 255 bytes. Positions are
    // best put in rising order (the readers do): a summary put again takes new room.
    void Put(size_t i, const TSummaryDraft& draft);
    // Gives back the spare room once every summary is in.
    void Seal();

    size_t Count() const { return records_.Count(); }
    // A copy of summary i; a position outside the store gives an empty record.
    TMessageInfo Get(int64_t i) const;
    // Size and data offset of summary i without building a whole record.
    uint32_t SizeOf(size_t i) const;
    uint32_t DataOffsetOf(size_t i) const;

    // Bytes held for the summaries.
    size_t MemoryUsage() const;

private:
    struct TNumbers;
    // None for a summary not put.
    std::optional<TNumbers> NumbersOf(size_t i, std::string_view* rest) const;
    void PackText(std::string_view text);
    int SourceHolding(std::string_view text) const;

    TPackedRecords records_;
    std::string scratch_;  // the summary being packed
    uint64_t copiedBytes_ = 0;  // of texts copied into the pieces
    uint64_t copyBudget_ = 0;
    std::vector<const TByteSource*> sources_;
    std::vector<bool> sourceUsed_;
};

}  // namespace brindle
