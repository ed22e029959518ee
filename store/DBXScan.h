#pragma once
// The whole-file scan of a version 5/6 folder file: every message text that the file still
// holds, reached by the index or not. It reads the file once from front to back, looking at
// every 4-byte boundary for an object that begins with its own offset:
//  - a live data block: head marker, 0x200, text bytes in it (1 to 0x200), next block or 0;
//  - a freed data block: head marker, 0x1FC, 0x210, next block of the same old chain or 0;
//    the first 4 of its 0x200 data bytes hold the offset of the block before it (those 4
//    bytes of the text are lost), and the last block's text ends at its first NUL;
//  - anything else may be a message-info object, left behind by a deleted message.
// Blocks are joined into chains by their next offsets; the index tree, as far as it can be
// read, tells which chains are the folder's messages.
#include "platform/ByteSource.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle::dbx {

enum class TFoundKind : uint8_t {
    Indexed,   // a message of the index
    Orphaned,  // live blocks that no summary reaches
    Deleted,   // freed blocks
    Partial,   // a chain that breaks off: its next block is missing or taken by another chain
};
const char* FoundKindName(TFoundKind kind);  // "indexed", "orphaned", "deleted", "partial"

// A run of lost bytes in a recovered text.
struct TLostRange {
    uint64_t At = 0;
    uint32_t Length = 0;
};

struct TFoundMessage {
    uint32_t Offset = 0;  // the first block
    TFoundKind Kind = TFoundKind::Orphaned;
    bool Freed = false;                  // made of freed blocks
    std::optional<uint32_t> Index;       // the summary's position when the index reaches it
    std::optional<uint32_t> InfoOffset;  // a message-info object that points at the chain
    uint32_t Blocks = 0;
    uint64_t Size = 0;       // text bytes recovered, lost ones included
    uint32_t LostBytes = 0;  // bytes of the text that the file no longer holds
};

// Tells how far the scan is (bytes of the file looked at, of all); false cancels the scan.
using TScanProgress = std::function<bool(uint64_t done, uint64_t total)>;

class TDbxScan {
public:
    explicit TDbxScan(const TByteSource& file) : file_(file) {}

    // Reads the file; false when cancelled (what was found so far is then dropped).
    bool Run(const TScanProgress& progress = {});

    // Every message found, in file order of its first block.
    const std::vector<TFoundMessage>& Messages() const { return messages_; }

    // The text of a message found, with the lost bytes as zero bytes and where they lie.
    std::string Text(const TFoundMessage& message, std::vector<TLostRange>* lost = nullptr) const;

private:
    struct TBlock {
        uint32_t Offset;
        uint32_t Next;
        // Text bytes the block adds: a live block's up to its first NUL; a freed block's after
        // the lost link, up to the first NUL (counted when it ends its chain).
        uint16_t TextLength;
        uint16_t LostBytes;
        bool Freed;
        bool CutShort;  // its data runs past the end of the file
        bool HasPredecessor = false;
        bool Taken = false;
    };

    bool FindObjects(const TScanProgress& progress);
    void ReadIndex();
    void JoinChains();
    void FollowChain(size_t first, TFoundMessage& message);
    void AttachInfoObjects();
    TBlock* BlockAt(uint32_t offset);
    const TBlock* BlockAt(uint32_t offset) const;

    const TByteSource& file_;
    std::vector<TBlock> blocks_;              // in file order
    std::vector<uint32_t> otherMarkers_;      // objects that are not blocks
    struct TIndexedHead {
        uint32_t FirstBlock;
        uint32_t Index;  // the summary's position
        uint32_t InfoObject;
    };
    std::vector<TIndexedHead> indexedHeads_;
    std::vector<TFoundMessage> messages_;
};

// Lost bytes replaced so that the text does the least harm: inside a base64 body whose lines
// before the gap show the line length, the line end is put back where it belongs and the
// other lost characters become "A", so that the rest decodes in step; elsewhere a space.
void FillLostBytes(std::string& text, const std::vector<TLostRange>& lost);

}  // namespace brindle::dbx
