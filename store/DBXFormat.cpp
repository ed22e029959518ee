#include "store/DBXFormat.h"

#include "platform/HeaderBlock.h"
#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "store/ChainGuard.h"
#include "store/DBXLayout.h"
#include "store/MessageInfo.h"

#include <unordered_set>

namespace brindle::dbx {
namespace {

constexpr const char* kTooManyToRead = "Too many values to read.";
constexpr const char* kWrongMarker = "Wrong object marker.";
constexpr const char* kWrongParent = "Wrong parent.";
constexpr const char* kWrongEntries = "Wrong value for entries.";
constexpr const char* kTooManyValues = "Too many values.";
constexpr const char* kWrongValueCount = "Wrong number of values found";
constexpr const char* kNodeVisited = "Index tree leads back to a node already visited.";
constexpr const char* kTreeTooDeep = "Index tree is nested too deeply.";
constexpr const char* kBlockVisited = "Data block chain leads back to a block already visited.";
constexpr const char* kTextTooLong = "Message text is longer than the file.";

// A tree of 2^32 values needs fewer than 8 levels; deeper trees are damaged.
constexpr unsigned kMaxTreeDepth = 64;
// How many blocks ahead the size walk asks for block heads.
constexpr uint64_t kPrefetchBlocks = 8;

const uint8_t* Bytes(std::string_view view) { return reinterpret_cast<const uint8_t*>(view.data()); }

TErrorContext At(const char* structure, uint64_t offset) { return {structure, offset, std::nullopt}; }

class TIndexTreeWalk {
public:
    TIndexTreeWalk(const TByteSource& file, uint32_t count, std::vector<uint32_t>& values)
        : file_(file), count_(count), values_(values) {
        values_.assign(count, 0);
    }

    void ReadNode(uint32_t parent, uint32_t position, uint64_t start, uint64_t expected, unsigned depth) {
        WithContext(At("index node", position), [&] { ReadNodeChecked(parent, position, start, expected, depth); });
    }

private:
    void ReadNodeChecked(uint32_t parent, uint32_t position, uint64_t start, uint64_t expected, unsigned depth) {
        if (start + expected > count_) throw EDBXReaderException(kTooManyToRead);
        std::string_view node = file_.Read(position, kNodeSize);
        if (le::U32(node, kNodeMarker) != position) throw EDBXReaderException(kWrongMarker);
        if (le::U32(node, kNodeParent) != parent) throw EDBXReaderException(kWrongParent);
        const uint8_t entries = Bytes(node)[kNodeEntryCount];
        if (entries > kNodeMaxEntries) throw EDBXReaderException(kWrongEntries);
        if (!visited_.insert(position).second) throw EDBXReaderException(kNodeVisited);
        if (depth >= kMaxTreeDepth) throw EDBXReaderException(kTreeTooDeep);

        uint64_t found = 0;
        const uint32_t firstChild = le::U32(node, kNodeFirstChild);
        if (firstChild != 0) {
            const uint32_t childCount = le::U32(node, kNodeFirstChildCount);
            ReadNode(position, firstChild, start, childCount, depth + 1);
            found += childCount;
        }
        for (uint32_t e = 0; e < entries; ++e) {
            const size_t at = kNodeEntries + e * kEntrySize;
            const uint32_t value = le::U32(node, at + kEntryValue);
            if (value != 0) {
                ++found;
                if (start + found > count_) throw EDBXReaderException(kTooManyValues);
                values_[static_cast<size_t>(start + found - 1)] = value;
            }
            const uint32_t child = le::U32(node, at + kEntryChild);
            if (child != 0) {
                const uint32_t childCount = le::U32(node, at + kEntryChildCount);
                ReadNode(position, child, start + found, childCount, depth + 1);
                found += childCount;
            }
        }
        if (found != expected) throw EDBXReaderException(kWrongValueCount);
    }

    const TByteSource& file_;
    uint64_t count_;
    std::vector<uint32_t>& values_;
    std::unordered_set<uint32_t> visited_;
};

}  // namespace

void ReadIndexTree(const TByteSource& file, uint32_t root, uint32_t count, std::vector<uint32_t>& values) {
    TIndexTreeWalk walk(file, count, values);
    walk.ReadNode(0, root, 0, count, 0);
}

uint64_t IndexTreeCount(const TByteSource& file, uint32_t root) {
    if (root == 0 || !file.Has(root, kNodeSize)) return 0;
    std::string_view node = file.Read(root, kNodeSize);
    const uint8_t entries = Bytes(node)[kNodeEntryCount];
    if (le::U32(node, kNodeMarker) != root || le::U32(node, kNodeParent) != 0 || entries > kNodeMaxEntries) return 0;
    uint64_t count = le::U32(node, kNodeFirstChild) != 0 ? le::U32(node, kNodeFirstChildCount) : 0;
    for (uint32_t e = 0; e < entries; ++e) {
        const size_t at = kNodeEntries + e * kEntrySize;
        if (le::U32(node, at + kEntryValue) != 0) ++count;
        if (le::U32(node, at + kEntryChild) != 0) count += le::U32(node, at + kEntryChildCount);
    }
    return count;
}

TInfoObject TInfoObject::Read(const TByteSource& file, uint32_t offset) {
    return WithContext(At("message info", offset), [&] {
        std::string_view head = file.Read(offset, kInfoHeadSize);
        if (le::U32(head, kInfoMarker) != offset) throw EDBXReaderException(kWrongMarker);
        TInfoObject object;
        object.offset_ = offset;
        object.body_ = file.Read(uint64_t{offset} + kInfoHeadSize, le::U16(head, kInfoBodyLength));
        const uint8_t entries = Bytes(head)[kInfoEntryCount];
        object.dataStart_ = uint64_t{entries} * kInfoEntrySize;
        // Entries that do not fit the object's body are not read.
        object.entries_ = std::min<size_t>(entries, object.body_.size() / kInfoEntrySize);
        return object;
    });
}

size_t TInfoObject::EntryCount() const { return entries_; }

uint8_t TInfoObject::IdAt(size_t k) const { return Bytes(body_)[k * kInfoEntrySize]; }

uint32_t TInfoObject::ValueAt(size_t k) const { return le::U24(body_, k * kInfoEntrySize + 1); }

template <typename Decode>
auto TInfoObject::LastDecoded(uint8_t field, bool direct, bool indirect, Decode decode) const
    -> decltype(decode(size_t{0})) {
    decltype(decode(size_t{0})) found;
    for (size_t k = 0; k < entries_; ++k) {
        const uint8_t id = IdAt(k);
        if ((id & ~kDirectForm) != field) continue;
        const bool isDirect = (id & kDirectForm) != 0;
        if (isDirect ? !direct : !indirect) continue;
        if (auto value = decode(k)) found = value;
    }
    return found;
}

std::optional<uint64_t> TInfoObject::DataPosition(uint32_t value, uint64_t width) const {
    const uint64_t pos = dataStart_ + value;
    if (pos + width > body_.size()) return std::nullopt;
    return pos;
}

std::optional<uint32_t> TInfoObject::Number(uint8_t field, bool directAllowed, bool indirectAllowed) const {
    return LastDecoded(field, directAllowed, indirectAllowed, [&](size_t k) -> std::optional<uint32_t> {
        if (IdAt(k) & kDirectForm) return ValueAt(k);
        std::optional<uint64_t> pos = DataPosition(ValueAt(k), 4);
        if (!pos) return std::nullopt;
        return le::U32(body_, static_cast<size_t>(*pos));
    });
}

std::optional<uint64_t> TInfoObject::Number64(uint8_t field) const {
    return LastDecoded(field, false, true, [&](size_t k) -> std::optional<uint64_t> {
        std::optional<uint64_t> pos = DataPosition(ValueAt(k), 8);
        if (!pos) return std::nullopt;
        return le::U64(body_, static_cast<size_t>(*pos));
    });
}

std::optional<std::string_view> TInfoObject::Text(uint8_t field) const {
    return LastDecoded(field, false, true, [&](size_t k) -> std::optional<std::string_view> {
        std::optional<uint64_t> pos = DataPosition(ValueAt(k), 1);
        if (!pos) return std::nullopt;
        return UpToNul(body_.substr(static_cast<size_t>(*pos), kShortStringMax));
    });
}

TBlockHead ReadBlockHead(const TByteSource& file, uint64_t offset) {
    std::string_view head = file.Read(offset, kBlockHeadSize);
    return {le::U32(head, kBlockMarker), le::U32(head, kBlockCapacity), le::U32(head, kBlockTextCount),
            le::U32(head, kBlockNext)};
}

uint32_t TBlockChains::SumUntilRepeat(uint32_t first) const {
    std::unordered_set<uint32_t> seen;
    uint32_t size = 0;
    for (uint32_t block = first; block != 0 && seen.insert(block).second;) {
        const TBlockHead head = ReadBlockHead(file_, block);
        size += head.TextCount;
        block = head.Next;
    }
    return size;
}

uint32_t TBlockChains::SumTextCounts(uint32_t first, bool* looped) {
    const uint8_t* bytes = Bytes(file_.All());
    const uint64_t fileSize = file_.Size();
    uint32_t size = 0;
    TChainGuard guard(first);
    for (uint32_t block = first; block != 0;) {
        if (blockBudget_ == 0) throw EDBXReaderException(kBlockVisited);
        --blockBudget_;
        ++blocksWalked_;
        if (block > fileSize || fileSize - block < kBlockHeadSize) throw EReadError();
        const uint8_t* head = bytes + block;
        if (le::U32(head + kBlockMarker) != block) throw EDBXReaderException(kWrongMarker);
        size += le::U32(head + kBlockTextCount);
        const uint32_t next = le::U32(head + kBlockNext);
        // Chains usually run forward through evenly spaced blocks: ask for the heads a few
        // blocks ahead while this one is handled.
        const uint64_t ahead = uint64_t{next} + kPrefetchBlocks * (uint64_t{next} - block);
        if (next > block && ahead < fileSize) __builtin_prefetch(bytes + ahead);
        block = next;
        if (block != 0 && !guard.Advance(block)) {
            if (!looped) throw EDBXReaderException(kBlockVisited);
            // The guard has met the loop within three times the chain's length: the blocks
            // walked again are few.
            *looped = true;
            return SumUntilRepeat(first);
        }
    }
    return size;
}

std::string TBlockChains::ReadText(uint32_t first, bool untilHeaderEnd, uint64_t sizeHint) const {
    std::string text;
    // A size beyond the file comes from block counts that the reading below will reject.
    if (!untilHeaderEnd && sizeHint <= file_.Size()) text.reserve(sizeHint);
    TChainGuard guard(first);
    for (uint32_t block = first; block != 0;) {
        WithContext(At("data block", block), [&] {
            const TBlockHead head = ReadBlockHead(file_, block);
            std::string_view bytes = file_.Read(uint64_t{block} + kBlockHeadSize, head.TextCount);
            if (bytes.size() > file_.Size() - text.size()) throw EDBXReaderException(kTextTooLong);
            const size_t searchFrom = text.size() < 3 ? 0 : text.size() - 3;
            text.append(bytes);
            block = untilHeaderEnd && StoredHeaderEnd(text, searchFrom) != std::string::npos ? 0 : head.Next;
            if (block != 0 && !guard.Advance(block)) throw EDBXReaderException(kBlockVisited);
        });
    }
    file_.CheckIntact();
    return text;
}

}  // namespace brindle::dbx
