#pragma once
// The summaries of one folder, kept compactly: the numbers of each message in a small fixed
// record and its texts in one shared arena. A TMessageInfo is built on request.
#include "platform/ByteSource.h"
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

    // Stores a summary at position i (i < Count()); texts are cut to 255 bytes.
    void Put(size_t i, const TSummaryDraft& draft);
    // Gives back the arena's spare room once every summary is in.
    void Seal();

    size_t Count() const { return records_.size(); }
    // A copy of summary i; a position outside the store gives an empty record.
    TMessageInfo Get(int64_t i) const;
    // Size and data offset of summary i without building a whole record.
    uint32_t SizeOf(size_t i) const { return records_[i].Size; }
    uint32_t DataOffsetOf(size_t i) const { return records_[i].DataOffset; }

    // Bytes held for the summaries: the records and the text arena.
    size_t MemoryUsage() const;

private:
    // Where a text lies: 0 = the arena, k > 0 = source k - 1.
    struct TRecord {
        uint32_t Index = 0;
        uint32_t Flags = 0;
        uint32_t DataOffset = 0;
        uint32_t Size = 0;
        uint32_t Priority = 0;
        uint32_t TextPos[kInfoTextCount] = {};
        uint8_t TextLen[kInfoTextCount] = {};
        uint8_t TextWhere[kInfoTextCount] = {};
        TDateTime Received = 0;
    };

    void StoreText(TRecord& record, size_t field, std::string_view text);
    int SourceHolding(std::string_view text) const;
    std::string_view TextOf(const TRecord& record, size_t field) const;

    std::vector<TRecord> records_;
    std::string arena_;
    uint64_t arenaBudget_ = 0;
    std::vector<const TByteSource*> sources_;
    std::vector<bool> sourceUsed_;
};

}  // namespace brindle
