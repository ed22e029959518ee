#include "store/MBXScan.h"

#include "platform/Exceptions.h"
#include "platform/LittleEndian.h"
#include "platform/StringList.h"
#include "store/MBXLayout.h"

#include <algorithm>
#include <cstring>

namespace brindle::mbx {
namespace {

constexpr uint32_t kRecordMarker = 0x7F007F00;
constexpr char kMarkerBytes[] = {'\x00', '\x7F', '\x00', '\x7F'};
constexpr uint64_t kProgressStep = uint64_t{8} << 20;

bool IsRecordHead(std::string_view head) {
    const uint32_t length = le::U32(head, kRecordLength);
    const uint32_t text = le::U32(head, kRecordTextLength);
    return le::U32(head, kRecordTag) == kRecordMarker && length >= kMinRecordSize && text >= 1 &&
           text <= length - kRecordHeadSize;
}

// The next place from `from` on where the record marker stands, or the end.
uint64_t NextMarker(std::string_view all, uint64_t from) {
    if (from >= all.size()) return all.size();
    const void* found = memmem(all.data() + from, all.size() - from, kMarkerBytes, sizeof kMarkerBytes);
    return found ? static_cast<uint64_t>(static_cast<const char*>(found) - all.data()) : all.size();
}

}  // namespace

bool TMbxScan::ReadIndexListing() {
    listed_.clear();
    if (!index_) return false;
    try {
        std::string_view header = index_->Read(0, kIdxHeaderSize);
        if (le::U32(header, kIdxHeaderMagic) != kIdxMagic) return false;
        const uint32_t records = le::U32(header, kIdxHeaderCount);
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

bool TMbxScan::Run(const TScanProgress& progress) {
    messages_.clear();
    const bool indexed = ReadIndexListing();
    const std::string_view all = file_.All();
    const uint64_t size = file_.Size();
    uint64_t pos = kHeaderSize;
    uint64_t nextReport = kProgressStep;
    uint32_t walked = 0;  // records reached by the folder's own walk
    bool inWalk = true;   // no damage met yet
    while (pos + kRecordHeadSize <= size && pos < (uint64_t{1} << 32)) {
        if (pos >= nextReport) {
            file_.ReleasePagesOfLargeFile(0, pos);
            nextReport = pos + kProgressStep;
            if (progress && !progress(pos, size)) return false;
        }
        std::string_view head = all.substr(static_cast<size_t>(pos), kRecordHeadSize);
        if (!IsRecordHead(head)) {
            inWalk = false;
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
        found.Size = UpToNul(file_.ReadUpTo(textOffset, textLength)).size();
        if (indexed) {
            found.Index = ListedAt(textOffset);
            found.Kind = found.Index ? TFoundKind::Indexed : TFoundKind::Deleted;
        } else {
            if (inWalk) found.Index = walked++;
            found.Kind = inWalk ? TFoundKind::Indexed : TFoundKind::Orphaned;
        }
        if (cutShort) found.Kind = TFoundKind::Partial;
        messages_.push_back(found);
        pos += length;
    }
    file_.CheckIntact();
    file_.ReleasePagesOfLargeFile(0, size);
    return !progress || progress(size, size);
}

std::string TMbxScan::Text(const TFoundMessage& message, uint64_t maxBytes) const {
    std::string_view head = file_.ReadUpTo(message.Offset, kRecordHeadSize);
    if (head.size() < kRecordHeadSize) return {};
    const uint64_t length = std::min<uint64_t>(le::U32(head, kRecordTextLength), maxBytes);
    std::string text(UpToNul(file_.ReadUpTo(uint64_t{message.Offset} + kRecordHeadSize, length)));
    file_.CheckIntact();
    return text;
}

}  // namespace brindle::mbx
