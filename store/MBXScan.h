#pragma once
// The whole-file scan of a version 4 folder: every message record of the .mbx, also past a
// damaged record (the scan goes on at the next record marker 0x7F007F00), named by whether
// the index file beside it still lists the record.
#include "platform/ByteSource.h"
#include "store/FoundMessage.h"

#include <unordered_set>
#include <vector>

namespace brindle::mbx {

// Whether the 16 bytes at head read as a record head: the marker, a length that holds the head
// and a text of at least one byte that fits the length.
bool IsRecordHead(std::string_view head);

// Where the record after the one at pos begins. A record's length that runs past a record head
// standing after the record's text claims bytes of the records after it: the next record is
// that head.
uint64_t NextRecordAfter(std::string_view all, uint64_t pos, uint32_t length, uint32_t textLength);

class TMbxScan {
public:
    // index: the .idx beside the folder, or none.
    TMbxScan(const TByteSource& file, const TByteSource* index) : file_(file), index_(index) {}

    // Reads the file; false when cancelled. Records that the index lists are indexed, the
    // others deleted; without a readable index the records that the folder's own walk reaches
    // are indexed and those found only past damage orphaned. Records cut by the end of the
    // file are partial.
    bool Run(const TScanProgress& progress = {});

    const TFoundList& Messages() const { return messages_; }
    // What Run read of the index file: whether it began as one, the count its header gives
    // and the entries it listed (up to the damage).
    bool IndexRead() const { return indexRead_; }
    uint32_t IndexHeaderCount() const { return indexHeaderCount_; }
    size_t IndexEntries() const { return listed_.size(); }
    // The record's whole text (NULs too), as the folder reader gives it.
    std::string Text(const TFoundMessage& message, uint64_t maxBytes = UINT64_MAX) const;

private:
    // The text offsets that the index lists, with their positions; empty without an index.
    bool ReadIndexListing();
    // Reads records from pos on, one after the other, until the end, damage or a record found
    // before; false when cancelled.
    bool WalkFrom(uint64_t pos, bool fromIndex, bool indexed, const TScanProgress& progress);
    bool Found(uint64_t offset) const;
    std::optional<uint32_t> ListedAt(uint64_t textOffset) const;

    const TByteSource& file_;
    const TByteSource* index_;
    std::vector<std::pair<uint64_t, uint32_t>> listed_;  // text offset, position; sorted
    bool indexRead_ = false;
    uint32_t indexHeaderCount_ = 0;
    TFoundList messages_;
    size_t walked_ = 0;     // records reached by the folder's own walk
    bool inWalk_ = true;    // no damage met yet
    uint64_t nextReport_ = 0;
    size_t firstWalkEnd_ = 0;  // messages_ up to here came from the walk from the front, in file order
    std::unordered_set<uint32_t> laterStarts_;  // records found from the index's offsets
};

}  // namespace brindle::mbx
