#include "store/DBXScan.h"

#include "platform/LittleEndian.h"
#include "platform/ParallelWork.h"
#include "platform/StringList.h"
#include "store/DBXFormat.h"
#include "store/DBXLayout.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace brindle::dbx {
namespace {

constexpr uint32_t kBlockDataSize = 0x200;
constexpr uint32_t kFreedCapacity = 0x1FC;
constexpr uint32_t kFreedCount = 0x210;
// Of a freed block's data, the first bytes hold the offset of the block before it.
constexpr uint32_t kFreedLinkSize = 4;
// Markers are 32-bit offsets: nothing beyond 4 GiB can begin an object.
constexpr uint64_t kMarkerLimit = uint64_t{1} << 32;
// The scan tells its progress, and gives back the mapped pages behind it, this often.
constexpr uint64_t kProgressStep = uint64_t{8} << 20;
// The scan asks for the bytes this far ahead of it: the processor's own prefetching stops at
// every page boundary.
constexpr uint64_t kReadAhead = 4096;

bool PlausibleNext(uint32_t next) { return next == 0 || (next % 4 == 0 && next >= kHeaderSize); }

// The bytes a block adds to its chain's text: a live block every byte its text count holds; a
// freed block (which has no count left) its data after the lost link, the chain's last one up
// to its first NUL. Without upToNul, every byte the freed block holds for text.
std::string_view BlockText(const TByteSource& file, uint32_t offset, uint32_t count, bool freed, bool last,
                           uint32_t& lost, bool upToNul = true) {
    const uint64_t data = uint64_t{offset} + kBlockHeadSize;
    if (!freed) {
        lost = 0;
        return file.ReadUpTo(data, count);
    }
    std::string_view link = file.ReadUpTo(data, kFreedLinkSize);
    lost = static_cast<uint32_t>(link.size());
    std::string_view rest = file.ReadUpTo(data + kFreedLinkSize, kBlockDataSize - kFreedLinkSize);
    return last && upToNul ? UpToNul(rest) : rest;
}

}  // namespace

// Whether a data block head stands at offset, as an info object's data offset names one.
bool TDbxScan::LeadsToABlock(uint32_t offset) const {
    if (offset < kHeaderSize || offset % 4 != 0 || !file_.Has(offset, kBlockHeadSize)) return false;
    const TBlockHead head = ReadBlockHead(file_, offset);
    return head.Marker == offset && (head.Capacity == kBlockDataSize || head.Capacity == kFreedCapacity);
}

// The data offset of the info object at offset; 0 when there is none to read.
uint32_t TDbxScan::DataOffsetOfInfoAt(uint32_t offset) const {
    try {
        return TInfoObject::Read(file_, offset).Number(kFieldDataOffset).value_or(0);
    } catch (const Exception&) {
        return 0;
    }
}

bool TDbxScan::Run(const TScanProgress& progress) {
    blocks_.clear();
    otherObjects_.clear();
    inPlaceObjects_ = 0;
    indexedHeads_.clear();
    messages_.clear();
    found_.clear();
    // Each info object kept leads to a block of its own in a sound file; beyond that many,
    // candidates are words that only equal their offset.
    othersBudget_ = static_cast<size_t>(file_.Size() / (kBlockHeadSize + kBlockDataSize) + 1024);
    if (!FindObjects(progress)) {
        blocks_.clear();
        otherObjects_.clear();
        return false;
    }
    ReadIndex();
    JoinChains();
    AttachInfoObjects();
    for (const TFoundMessage& message : messages_) found_.push_back(message);
    std::vector<TFoundMessage>().swap(messages_);
    file_.EndPass(0, file_.Size(), TFollowingPass::OverSameRange);
    blocks_.clear();
    blocks_.shrink_to_fit();
    return true;
}

template <typename GoOn>
uint64_t TDbxScan::FindObjectsIn(uint64_t from, uint64_t limit, TObjects& found, GoOn goOn) const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(file_.All().data());
    const uint64_t end = std::min(file_.Size(), kMarkerLimit);
    // Room for as many blocks as the range can hold, at a twenty-sixth of its size.
    if (std::min(limit, end) > from && found.Blocks.empty())
        found.Blocks.reserve(
            static_cast<size_t>((std::min(limit, end) - from) / (kBlockHeadSize + kBlockDataSize) + 1));
    uint64_t pos = from;
    uint64_t readAheadTo = from;
    for (; pos < limit && pos + kBlockHeadSize <= end; pos += 4) {
        if (!goOn(pos)) break;
        if (pos + kReadAhead > readAheadTo) {
            const uint64_t to = pos + 2 * kReadAhead;
            file_.PrefetchBytes(readAheadTo, to - readAheadTo);
            readAheadTo = to;
        }
        const uint8_t* head = bytes + pos;
        const uint32_t marker = le::U32(head);
        const uint32_t capacity = le::U32(head + kBlockCapacity);
        const bool inPlace = marker == pos;
        if (!inPlace && capacity != kBlockDataSize && capacity != kFreedCapacity) continue;
        const uint32_t count = le::U32(head + kBlockTextCount);
        const uint32_t next = le::U32(head + kBlockNext);
        const bool live = capacity == kBlockDataSize && count >= 1 && count <= kBlockDataSize;
        const bool freed = capacity == kFreedCapacity && count == kFreedCount;
        if (!inPlace && (!(live || freed) || marker < kHeaderSize || marker % 4 != 0)) continue;
        if ((live || freed) && PlausibleNext(next)) {
            const int64_t displacement = static_cast<int64_t>(pos) - marker;
            const int64_t nextAt = next == 0 ? 0 : int64_t{next} + displacement;
            const uint32_t nextInFile =
                nextAt > 0 && nextAt < int64_t{kMarkerLimit} ? static_cast<uint32_t>(nextAt) : 0;
            // Of a freed chain, only the last block's text ends at a NUL; the others count whole.
            uint32_t lost = 0;
            const std::string_view text = BlockText(file_, static_cast<uint32_t>(pos), live ? count : 0, freed,
                                                    nextInFile == 0, lost, exactSizes_);
            const bool cutShort = !file_.Has(pos + kBlockHeadSize, live ? count : kBlockDataSize);
            found.Blocks.push_back({static_cast<uint32_t>(pos), nextInFile, marker, static_cast<uint16_t>(text.size()),
                                    static_cast<uint16_t>(lost), freed, cutShort || (next != 0 && nextInFile == 0)});
            // Nothing proves that the bytes after a head belong to its block: a head that only
            // looks valid must not hide the objects behind it, so the search goes on at the
            // next boundary.
        } else {
            ++found.InPlaceObjects;
            const uint32_t firstBlock = DataOffsetOfInfoAt(static_cast<uint32_t>(pos));
            if (found.Others.size() < othersBudget_ && LeadsToABlock(firstBlock))
                found.Others.push_back({static_cast<uint32_t>(pos), firstBlock});
        }
    }
    return pos;
}

bool TDbxScan::FindObjects(const TScanProgress& progress) {
    const uint64_t size = file_.Size();
    const uint64_t end = std::min(size, kMarkerLimit);
    if (end >= splitFrom_ && end > kHeaderSize + 4 * kBlockDataSize) {
        if (!FindObjectsInHalves(end, progress)) return false;
    } else {
        TObjects found;
        uint64_t nextReport = kProgressStep;
        bool cancelled = false;
        file_.PrefetchPages(0, kProgressStep);
        FindObjectsIn(kHeaderSize, end, found, [&](uint64_t pos) {
            if (pos < nextReport) return true;
            file_.EndPass(nextReport - kProgressStep, kProgressStep, TFollowingPass::OverSameRange);
            file_.PrefetchPages(nextReport, kProgressStep);
            nextReport += kProgressStep;
            cancelled = progress && !progress(pos, size);
            return !cancelled;
        });
        if (cancelled) return false;
        blocks_ = std::move(found.Blocks);
        otherObjects_ = std::move(found.Others);
        inPlaceObjects_ = found.InPlaceObjects;
    }
    file_.CheckIntact();
    return !progress || progress(size, size);
}

// The second half is read on a thread of its own from its middle on. The first half's reading
// then goes on past the middle until it stands where the second half's reading stood too (not
// inside the data of a block that one found): from there on both find the same objects.
bool TDbxScan::FindObjectsInHalves(uint64_t end, const TScanProgress& progress) {
    const uint64_t size = file_.Size();
    const uint64_t middle = (kHeaderSize + (end - kHeaderSize) / 2) / 4 * 4;
    TParallelRun run;
    std::atomic<uint64_t> secondDone{0};
    TObjects found;
    TObjects second;
    uint64_t stopped = 0;
    auto readFirst = [&] {
        uint64_t nextStep = kProgressStep;
        file_.PrefetchPages(0, kProgressStep);
        stopped = FindObjectsIn(kHeaderSize, middle, found, [&](uint64_t pos) {
            if (pos < nextStep) return true;
            file_.EndPass(nextStep - kProgressStep, kProgressStep, TFollowingPass::OverSameRange);
            file_.PrefetchPages(nextStep, kProgressStep);
            nextStep += kProgressStep;
            if (progress && !progress(pos + secondDone.load(), size)) run.Cancel();
            return !run.Cancelled();
        });
    };
    auto readSecond = [&] {
        uint64_t nextStep = middle + kProgressStep;
        file_.PrefetchPages(middle, kProgressStep);
        FindObjectsIn(middle, end, second, [&](uint64_t pos) {
            if (pos < nextStep) return true;
            file_.EndPass(nextStep - kProgressStep, kProgressStep, TFollowingPass::OverSameRange);
            file_.PrefetchPages(nextStep, kProgressStep);
            nextStep += kProgressStep;
            secondDone.store(pos - middle);
            return !run.Cancelled();
        });
    };
    // Progress is told from the first half only, on the caller's thread.
    if (!RunShares(2, run, [&](size_t half) { half == 0 ? readFirst() : readSecond(); })) return false;
    // Where the second reading stood: any position but those inside a block's data.
    auto stoodAt = [&](uint64_t pos) {
        auto after = std::upper_bound(second.Blocks.begin(), second.Blocks.end(), pos,
                                      [](uint64_t at, const TBlock& block) { return at < block.Offset; });
        return after == second.Blocks.begin() || pos == (after - 1)->Offset ||
               pos >= uint64_t{(after - 1)->Offset} + kBlockHeadSize + kBlockDataSize;
    };
    const uint64_t joined = FindObjectsIn(stopped, end, found, [&](uint64_t pos) { return !stoodAt(pos); });
    auto fromBlocks = std::lower_bound(second.Blocks.begin(), second.Blocks.end(), joined,
                                       [](const TBlock& block, uint64_t at) { return block.Offset < at; });
    auto fromOthers = std::lower_bound(second.Others.begin(), second.Others.end(), joined,
                                       [](const TOtherObject& object, uint64_t at) { return object.Marker < at; });
    found.Blocks.insert(found.Blocks.end(), fromBlocks, second.Blocks.end());
    found.Others.insert(found.Others.end(), fromOthers, second.Others.end());
    blocks_ = std::move(found.Blocks);
    otherObjects_ = std::move(found.Others);
    // Counted twice where the two readings overlap: only a bound.
    inPlaceObjects_ = found.InPlaceObjects + second.InPlaceObjects;
    return true;
}

// The index as far as it can be read: a damaged tree or info object ends or skips only its part.
void TDbxScan::ReadIndex() {
    if (!file_.Has(0, kHeaderSize)) return;
    std::string_view header = file_.Read(0, kHeaderSize);
    if (le::U32(header, kHeaderMagic1) != kMagic1) return;
    uint64_t count = le::U32(header, kHeaderMessageCount);
    if (count == 0) count = IndexTreeCount(file_, le::U32(header, kHeaderRootNode));
    if (count == 0 || count > file_.Size() / kEntrySize) return;
    std::vector<uint32_t> values;
    try {
        // Every value is an info object, so no sound tree holds more values than there are
        // objects that are not blocks.
        ReadIndexTree(file_, le::U32(header, kHeaderRootNode),
                      static_cast<uint32_t>(std::min<uint64_t>(count, inPlaceObjects_)), values);
    } catch (const Exception&) {
        // The values found before the damage stay.
    }
    // The info objects were read where the scan met them; one that could not be read leaves
    // its chain to be found as an orphan.
    for (size_t i = 0; i < values.size(); ++i) {
        auto it = std::lower_bound(otherObjects_.begin(), otherObjects_.end(), values[i],
                                   [](const TOtherObject& object, uint32_t at) { return object.Marker < at; });
        if (values[i] != 0 && it != otherObjects_.end() && it->Marker == values[i] && it->FirstBlock != 0)
            indexedHeads_.push_back({it->FirstBlock, static_cast<uint32_t>(i), values[i]});
    }
}

// A block continues a chain when it is of the same kind and was moved by the same amount.
bool TDbxScan::Continues(const TBlock& block, const TBlock& next) {
    return next.Freed == block.Freed &&
           static_cast<int64_t>(next.Offset) - next.Marker == static_cast<int64_t>(block.Offset) - block.Marker;
}

TDbxScan::TBlock* TDbxScan::BlockAt(uint32_t offset) {
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), offset,
                               [](const TBlock& block, uint32_t at) { return block.Offset < at; });
    return it != blocks_.end() && it->Offset == offset ? &*it : nullptr;
}

// Chains mostly run on to the block found right after: that one is tried first.
TDbxScan::TBlock* TDbxScan::BlockAfter(TBlock* block, uint32_t offset) {
    TBlock* following = block + 1;
    if (following < blocks_.data() + blocks_.size() && following->Offset == offset) return following;
    return BlockAt(offset);
}

void TDbxScan::JoinChains() {
    for (TBlock& block : blocks_) {
        if (block.Next == 0) continue;
        TBlock* next = BlockAfter(&block, block.Next);
        if (next && Continues(block, *next)) next->HasPredecessor = true;
    }
    auto follow = [&](TBlock& first, std::optional<TIndexedHead> indexed) {
        TFoundMessage message;
        if (indexed) {
            message.Index = indexed->Index;
            message.InfoOffset = indexed->InfoObject;
        }
        FollowChain(static_cast<size_t>(&first - blocks_.data()), message);
        messages_.push_back(message);
    };
    for (const TIndexedHead& head : indexedHeads_) {
        TBlock* first = BlockAt(head.FirstBlock);
        if (first && !first->Freed && !first->Taken) follow(*first, head);
    }
    // Heads first, so that a chain is found from its beginning; then what only loops.
    for (TBlock& block : blocks_)
        if (!block.Taken && !block.HasPredecessor) follow(block, std::nullopt);
    for (TBlock& block : blocks_)
        if (!block.Taken) follow(block, std::nullopt);
    std::sort(messages_.begin(), messages_.end(),
              [](const TFoundMessage& a, const TFoundMessage& b) { return a.Offset < b.Offset; });
}

void TDbxScan::FollowChain(size_t first, TFoundMessage& message) {
    TBlock* block = &blocks_[first];
    message.Offset = block->Offset;
    message.Freed = block->Freed;
    message.Displacement = static_cast<int64_t>(block->Offset) - block->Marker;
    bool broken = false;
    for (;;) {
        block->Taken = true;
        ++message.Blocks;
        const bool last = block->Next == 0;
        // A freed block that is not its chain's last one adds all its data after the link.
        const uint64_t text = block->Freed && !last
                                  ? file_
                                        .ReadUpTo(uint64_t{block->Offset} + kBlockHeadSize + kFreedLinkSize,
                                                  kBlockDataSize - kFreedLinkSize)
                                        .size()
                                  : block->TextLength;
        broken = block->CutShort;
        message.Size += block->LostBytes + text;
        message.LostBytes += block->LostBytes;
        if (last || broken) break;
        TBlock* next = BlockAfter(block, block->Next);
        if (!next || !Continues(*block, *next) || next->Taken) {
            broken = true;
            break;
        }
        block = next;
    }
    if (broken)
        message.Kind = TFoundKind::Partial;
    else if (message.Index)
        message.Kind = TFoundKind::Indexed;
    else
        message.Kind = message.Freed ? TFoundKind::Deleted : TFoundKind::Orphaned;
}

void TDbxScan::AttachInfoObjects() {
    for (const TOtherObject& object : otherObjects_) {
        if (object.FirstBlock == 0) continue;
        auto it = std::lower_bound(messages_.begin(), messages_.end(), object.FirstBlock,
                                   [](const TFoundMessage& m, uint32_t at) { return m.Offset < at; });
        if (it != messages_.end() && it->Offset == object.FirstBlock && !it->InfoOffset) it->InfoOffset = object.Marker;
    }
    otherObjects_.clear();
    otherObjects_.shrink_to_fit();
}

std::string TDbxScan::Text(const TFoundMessage& message, std::vector<TLostRange>* lostRanges, uint64_t maxBytes) const {
    std::string text;
    if (message.Size <= file_.Size()) text.reserve(std::min(message.Size, maxBytes));
    std::vector<TLostRange> lost;
    uint32_t offset = message.Offset;
    for (uint32_t k = 0; k < message.Blocks && offset != 0 && text.size() < maxBytes; ++k) {
        if (!file_.Has(offset, kBlockHeadSize)) break;
        const TBlockHead head = ReadBlockHead(file_, offset);
        const bool freed = head.Capacity == kFreedCapacity;
        uint32_t lostHere = 0;
        std::string_view bytes = BlockText(file_, offset, freed ? 0 : head.TextCount, freed, head.Next == 0, lostHere);
        if (lostHere) {
            lost.push_back({text.size(), lostHere});
            text.append(lostHere, '\0');
        }
        text.append(bytes);
        const int64_t next = head.Next == 0 ? 0 : int64_t{head.Next} + message.Displacement;
        offset = next > 0 && next < int64_t{kMarkerLimit} ? static_cast<uint32_t>(next) : 0;
    }
    file_.CheckIntact();
    FillLostBytes(text, lost);
    if (lostRanges) *lostRanges = std::move(lost);
    return text;
}

}  // namespace brindle::dbx
