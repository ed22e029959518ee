#pragma once
// The whole-file scan of a version 5/6 folder file: every message text that the file still
// holds, reached by the index or not. It reads the file once from front to back, looking at
// every 4-byte boundary (also inside what looks like a block: a head proves nothing about the
// bytes after it) for an object that begins with its own offset:
//  - a live data block: head marker, 0x200, text bytes in it (1 to 0x200, NULs count too),
//    next block or 0;
//  - a freed data block: head marker, 0x1FC, 0x210, next block of the same old chain or 0;
//    the first 4 of its 0x200 data bytes hold the offset of the block before it (those 4
//    bytes of the text are lost), and the last block's text ends at its first NUL;
//  - anything else may be a message-info object, left behind by a deleted message.
// Blocks are joined into chains by their next offsets; the index tree, as far as it can be
// read, tells which chains are the folder's messages. Blocks copied whole to another place
// of the file (their markers name where they were) are found too: such a block's chain is
// followed with the same displacement.
#include "platform/ReadingPolicy.h"
#include "platform/ByteSource.h"
#include "store/FoundMessage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle::dbx {

class TDbxScan {
public:
    // A file of at least splitFrom bytes is read in two halves side by side, on this thread and
    // a second one; the objects found are the same as those of one pass.
    // With exactSizes false, the blocks' texts are not searched for a NUL: each message's Size
    // is then at most that much too large. For callers that read every text anyway.
    explicit TDbxScan(const TByteSource& file, uint64_t splitFrom = ReadingPolicy().ScanInHalvesFrom,
                      bool exactSizes = true)
        : file_(file), splitFrom_(splitFrom), exactSizes_(exactSizes) {}

    // Reads the file; false when cancelled (what was found so far is then dropped).
    bool Run(const TScanProgress& progress = {});

    // Every message found, in file order of its first block.
    const TFoundList& Messages() const { return found_; }

    // The text of a message found, lost bytes filled (FillLostBytes); at most about maxBytes
    // of it (whole blocks) when given. lost receives where the lost bytes lie.
    std::string Text(const TFoundMessage& message, std::vector<TLostRange>* lost = nullptr,
                     uint64_t maxBytes = UINT64_MAX) const;

private:
    struct TBlock {
        uint32_t Offset;
        uint32_t Next;  // where the next block lies in the file (displacement applied), or 0
        uint32_t Marker;
        // Text bytes the block adds: all of a live block's count; a freed block's after
        // the lost link, up to the first NUL when it ends its chain (Next 0), else all of them.
        uint16_t TextLength;
        uint16_t LostBytes;
        bool Freed;
        bool CutShort;  // its data runs past the end of the file
        bool HasPredecessor = false;
        bool Taken = false;
    };

    // Info objects whose data offset leads to a block head, with that offset, in file order.
    struct TOtherObject {
        uint32_t Marker;
        uint32_t FirstBlock;
    };
    struct TObjects {
        std::vector<TBlock> Blocks;
        std::vector<TOtherObject> Others;
        uint64_t InPlaceObjects = 0;  // objects that begin with their offset and are not blocks
    };

    bool FindObjects(const TScanProgress& progress);
    // Looks at every 4-byte boundary from `from` on, before limit, while goOn(pos) allows;
    // returns where it stopped.
    template <typename GoOn>
    uint64_t FindObjectsIn(uint64_t from, uint64_t limit, TObjects& found, GoOn goOn) const;
    bool FindObjectsInHalves(uint64_t end, const TScanProgress& progress);
    uint32_t DataOffsetOfInfoAt(uint32_t offset) const;
    bool LeadsToABlock(uint32_t offset) const;
    void ReadIndex();
    void JoinChains();
    void FollowChain(size_t first, TFoundMessage& message);
    void AttachInfoObjects();
    static bool Continues(const TBlock& block, const TBlock& next);
    TBlock* BlockAt(uint32_t offset);
    TBlock* BlockAfter(TBlock* block, uint32_t offset);

    const TByteSource& file_;
    const uint64_t splitFrom_;
    const bool exactSizes_;
    std::vector<TBlock> blocks_;  // in file order
    std::vector<TOtherObject> otherObjects_;
    uint64_t inPlaceObjects_ = 0;
    size_t othersBudget_ = 0;
    struct TIndexedHead {
        uint32_t FirstBlock;
        uint32_t Index;  // the summary's position
        uint32_t InfoObject;
    };
    std::vector<TIndexedHead> indexedHeads_;
    std::vector<TFoundMessage> messages_;  // while Run joins the chains
    TFoundList found_;
};

}  // namespace brindle::dbx
