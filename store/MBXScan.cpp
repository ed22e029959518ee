#include "store/MBXScan.h"

#include "platform/Exceptions.h"
#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "store/MBXLayout.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

namespace brindle::mbx {
namespace {

constexpr uint32_t kRecordMarker = 0x7F007F00;
constexpr char kMarkerBytes[] = {'\x00', '\x7F', '\x00', '\x7F'};
constexpr uint64_t kProgressStep = uint64_t{8} << 20;

// The next place from `from` on where the record marker stands, or the end.
uint64_t NextMarker(std::string_view all, uint64_t from) {
    if (from >= all.size()) return all.size();
    const void* found = memmem(all.data() + from, all.size() - from, kMarkerBytes, sizeof kMarkerBytes);
    return found ? static_cast<uint64_t>(static_cast<const char*>(found) - all.data()) : all.size();
}

}  // namespace

bool IsRecordHead(std::string_view head) {
    if (head.size() < kRecordHeadSize) return false;
    const uint32_t length = le::U32(head, kRecordLength);
    const uint32_t text = le::U32(head, kRecordTextLength);
    return le::U32(head, kRecordTag) == kRecordMarker && length >= kMinRecordSize && text >= 1 &&
           text <= length - kRecordHeadSize;
}

uint64_t NextRecordAfter(std::string_view all, uint64_t pos, uint32_t length, uint32_t textLength) {
    const uint64_t claimed = pos + length;
    const uint64_t textEnd = pos + kRecordHeadSize + textLength;
    // Only the bytes between the text's end and the claimed end are searched, and the search
    // stops at the first head, so every byte is searched at most once over a whole walk.
    for (uint64_t at = NextMarker(all, textEnd); at < claimed && at + kRecordHeadSize <= all.size();
         at = NextMarker(all, at + 1))
        if (IsRecordHead(all.substr(static_cast<size_t>(at), kRecordHeadSize))) return at;
    return claimed;
}

bool TMbxScan::ReadIndexListing() {
    listed_.clear();
    indexRead_ = false;
    indexHeaderCount_ = 0;
    if (!index_) return false;
    try {
        std::string_view header = index_->Read(0, kIdxHeaderSize);
        if (le::U32(header, kIdxHeaderMagic) != kIdxMagic) return false;
        const uint32_t records = le::U32(header, kIdxHeaderCount);
        indexRead_ = true;
        indexHeaderCount_ = records;
        uint64_t pos = kIdxHeaderSize;
        // Each index record takes at least its fixed part, so the file bounds the walk.
        for (uint32_t i = 0; i < records && pos + kIdxFixedSize <= index_->Size(); ++i) {
            std::string_view fixed = index_->Read(pos, kIdxFixedSize);
            listed_.push_back({le::U32(fixed, kIdxTextOffset), i});
            const uint64_t next = uint64_t{le::U32(fixed, kIdxOwnOffset)} + le::U32(fixed, kIdxRecordLength);
            if (next <= pos) break;
            pos = next;
        }
    } catch (const Exception&) {
        // What was listed before the damage counts.
    }
    std::sort(listed_.begin(), listed_.end());
    return true;
}

std::optional<uint32_t> TMbxScan::ListedAt(uint64_t textOffset) const {
    auto it = std::lower_bound(listed_.begin(), listed_.end(), std::make_pair(textOffset, uint32_t{0}));
    if (it == listed_.end() || it->first != textOffset) return std::nullopt;
    return it->second;
}

bool TMbxScan::Found(uint64_t offset) const {
    if (offset > std::numeric_limits<uint32_t>::max()) return false;
    const auto at = static_cast<uint32_t>(offset);
    const size_t walked = messages_.LowerBound(at, firstWalkEnd_);
    return (walked < firstWalkEnd_ && messages_.OffsetAt(walked) == at) || laterStarts_.count(at) != 0;
}

bool TMbxScan::WalkFrom(uint64_t pos, bool fromIndex, bool indexed, const TScanProgress& progress) {
    const std::string_view all = file_.All();
    const uint64_t size = file_.Size();
    while (pos + kRecordHeadSize <= size && pos < (uint64_t{1} << 32)) {
        if (!fromIndex && pos >= nextReport_) {
            file_.EndPass(0, pos, TFollowingPass::OverSameRange);
            nextReport_ = pos + kProgressStep;
            if (progress && !progress(pos, size)) return false;
        }
        if (fromIndex && Found(pos)) break;
        std::string_view head = all.substr(static_cast<size_t>(pos), kRecordHeadSize);
        if (!IsRecordHead(head)) {
            if (fromIndex) break;
            inWalk_ = false;
            pos = NextMarker(all, pos + 1);
            continue;
        }
        const uint32_t length = le::U32(head, kRecordLength);
        const uint32_t textLength = le::U32(head, kRecordTextLength);
        TFoundMessage found;
        found.Offset = static_cast<uint32_t>(pos);
        found.Blocks = 1;
        const uint64_t textOffset = pos + kRecordHeadSize;
        const bool cutShort = !file_.Has(textOffset, textLength);
        found.Size = file_.ReadUpTo(textOffset, textLength).size();
        if (indexed) {
            found.Index = ListedAt(textOffset);
            found.Kind = found.Index ? TFoundKind::Indexed : TFoundKind::Deleted;
        } else {
            if (inWalk_) found.Index = static_cast<uint32_t>(walked_++);
            found.Kind = inWalk_ ? TFoundKind::Indexed : TFoundKind::Orphaned;
        }
        if (cutShort) found.Kind = TFoundKind::Partial;
        messages_.push_back(found);
        if (fromIndex) laterStarts_.insert(found.Offset);
        const uint64_t next = NextRecordAfter(all, pos, length, textLength);
        if (next != pos + length) inWalk_ = false;
        pos = next;
    }
    return true;
}

bool TMbxScan::Run(const TScanProgress& progress) {
    messages_.clear();
    walked_ = 0;
    inWalk_ = true;
    nextReport_ = kProgressStep;
    firstWalkEnd_ = 0;
    laterStarts_.clear();
    const bool indexed = ReadIndexListing();
    const uint64_t size = file_.Size();
    if (!WalkFrom(kHeaderSize, false, indexed, progress)) return false;
    // The records that the index lists and the walk did not reach (a length that leads past
    // them) are read from where the index says they are.
    firstWalkEnd_ = messages_.size();
    for (const auto& [textOffset, position] : listed_)
        if (textOffset >= kHeaderSize + kRecordHeadSize && !Found(textOffset - kRecordHeadSize))
            WalkFrom(textOffset - kRecordHeadSize, true, indexed, progress);
    if (messages_.size() > firstWalkEnd_) messages_.SortByOffset();
    file_.CheckIntact();
    file_.EndPass(0, size, TFollowingPass::OverSameRange);
    return !progress || progress(size, size);
}

std::string TMbxScan::Text(const TFoundMessage& message, uint64_t maxBytes) const {
    std::string_view head = file_.ReadUpTo(message.Offset, kRecordHeadSize);
    if (head.size() < kRecordHeadSize) return {};
    const uint64_t length = std::min<uint64_t>(le::U32(head, kRecordTextLength), maxBytes);
    std::string text(file_.ReadUpTo(uint64_t{message.Offset} + kRecordHeadSize, length));
    file_.CheckIntact();
    return text;
}

}  // namespace brindle::mbx
