#pragma once
// The whole-file scan of a version 4 folder: every message record of the .mbx, also past a
// damaged record (the scan goes on at the next record marker 0x7F007F00), named by whether
// the index file beside it still lists the record.
#include "platform/ByteSource.h"
#include "store/FoundMessage.h"

#include <vector>

namespace brindle::mbx {

class TMbxScan {
public:
    // index: the .idx beside the folder, or none.
    TMbxScan(const TByteSource& file, const TByteSource* index) : file_(file), index_(index) {}

    // Reads the file; false when cancelled. Records that the index lists are indexed, the
    // others deleted; without a readable index the records that the folder's own walk reaches
    // are indexed and those found only past damage orphaned. Records cut by the end of the
    // file are partial.
    bool Run(const TScanProgress& progress = {});

    const std::vector<TFoundMessage>& Messages() const { return messages_; }
    // The record's text up to its first NUL, as the folder reader gives it.
    std::string Text(const TFoundMessage& message, uint64_t maxBytes = UINT64_MAX) const;

private:
    // The text offsets that the index lists, with their positions; empty without an index.
    bool ReadIndexListing();
    std::optional<uint32_t> ListedAt(uint64_t textOffset) const;

    const TByteSource& file_;
    const TByteSource* index_;
    std::vector<std::pair<uint64_t, uint32_t>> listed_;  // text offset, position; sorted
    std::vector<TFoundMessage> messages_;
};

}  // namespace brindle::mbx
