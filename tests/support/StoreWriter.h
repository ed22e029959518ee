#pragma once
// Test-only writer of folder files: version 5/6 folder files (.dbx) and version 4 folders
// (.mbx with its .idx), built from a description of the messages, with optional damage for
// the readers' error paths. Images are built in memory or streamed to files; large stores
// (tens of thousands of messages) are written without holding their texts in memory.
//
//   TDbxWriter writer("Inbox.dbx");          // or TDbxWriter writer; for an in-memory image
//   for (...) writer.Add(message);
//   writer.Finish();                          // index tree and header; applies the damage
//
// The .dbx output carries what readers need: the magic numbers, the message count, the root
// of the index tree, the folder name, index nodes, message-info objects with the usual
// entries and 512-byte data blocks, so peer tools (undbx) extract it as well.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::testsupport {

// One entry of a .dbx message-info object, for objects made by hand.
struct TDbxInfoEntry {
    uint8_t Id = 0;
    // Direct ids (0x80 and up): the value itself. Indirect ids without Data: the raw offset
    // into the data area, pointing wherever the test wants.
    uint32_t Value = 0;
    // Indirect ids: bytes put into the data area; the entry's value becomes their offset.
    std::optional<std::string> Data;
};

// How a .dbx holds a message: reached by the index tree, left behind with live blocks that
// nothing reaches, or deleted (its blocks freed: each block's head reads 0x1FC and 0x210 and
// its first 4 data bytes hold the offset of the block before it, so those 4 bytes are lost).
enum class TDbxPresence { Indexed, Orphaned, Deleted };

// One message of a store.
struct TStoreMessage {
    std::string Text;    // raw text: header block, blank line, body
    uint32_t Index = 0;  // .dbx: entry 0x80; .mbx/.idx: the message number
    uint32_t Flags = 0x80;
    uint32_t Priority = 3;
    uint64_t Received = 0;  // FILETIME (UTC); 0 = none written
    std::string MessageID;
    std::string Subject;
    std::string Server;
    std::string SenderName;
    std::string SenderAddress;
    std::string ReceiverName;
    std::string ReceiverAddress;
    std::string AccountName;

    // .dbx: false writes no entries for the fields above except the data offset.
    bool DbxFieldEntries = true;
    // .dbx: entries written after those of the fields (a later id overrides an earlier one).
    std::vector<TDbxInfoEntry> DbxExtraEntries;
    // .dbx: the body length written in the object's head instead of the real one.
    std::optional<uint16_t> DbxBodyLength;
    // .dbx: only Indexed messages are values of the index tree; the others keep their info
    // object unless DbxKeepInfo is false.
    TDbxPresence DbxPresence = TDbxPresence::Indexed;
    bool DbxKeepInfo = true;

    // .mbx: the record length and text length written instead of the real ones.
    std::optional<uint32_t> MbxRecordLength;
    std::optional<uint32_t> MbxTextLength;
    // .mbx: false leaves the message out of the .idx, as deleting it did.
    bool MbxListed = true;
};

// An index tree given node by node (node 0 is the root); nodes refer to each other by
// number, so trees of any shape, including repeated and circular ones, can be written.
struct TDbxNodeSpec {
    struct TEntry {
        int Message = -1;                    // the value: the info object of this message; -1 = value 0
        std::optional<uint32_t> RawValue;    // a value written as it is instead
        int Child = -1;                      // node number, -1 = none
        std::optional<uint32_t> ChildCount;  // default: the values in the child's subtree
    };
    int FirstChild = -1;
    std::optional<uint32_t> FirstChildCount;
    std::vector<TEntry> Entries;
};

enum class TDbxDamageKind {
    FirstMagic,     // first magic number changed
    SecondMagic,    // second magic number changed
    NodeMarker,     // node Target (in writing order, 0 = root) does not carry its offset
    NodeParent,     // node Target names a wrong parent
    NodeEntries52,  // node Target claims 52 entries
    InfoMarker,     // message Target's info object does not carry its offset
    BlockMarker,    // message Target's first data block does not carry its offset
    ChainCycle,     // message Target's last data block leads back to its first
};

struct TDbxDamage {
    TDbxDamageKind Kind;
    uint32_t Target = 0;
};

struct TDbxOptions {
    std::string FolderName = "Inbox";
    bool FolderList = false;                // the folder list's second magic number (Folders.dbx)
    uint32_t FanOut = 51;                   // values per index node, 1 to 51
    bool ChainTree = false;                 // every node holds one value and leads to the next one
    std::vector<TDbxNodeSpec> Tree{};       // an explicit tree instead of the built one
    uint32_t BlockSize = 512;               // text bytes per data block
    std::optional<uint32_t> HeaderCount{};  // written at 0xC4 instead of the number of messages
    std::optional<uint64_t> TruncateTo{};   // the image is cut to this many bytes
    std::vector<TDbxDamage> Damage{};
};

// Where the writer put things, for tests that patch an image themselves.
struct TDbxLayout {
    uint32_t Root = 0;
    std::vector<uint32_t> Nodes;        // in writing order; Nodes[0] is the root
    std::vector<uint32_t> InfoObjects;  // per message (0 for a message written without one)
    std::vector<uint32_t> FirstBlocks;  // per message, 0 for a message without text
    std::vector<uint32_t> LastBlocks;
    uint64_t FileSize = 0;
};

class TByteSink;

class TDbxWriter {
public:
    explicit TDbxWriter(TDbxOptions options = {});                  // builds the image in memory
    TDbxWriter(const std::string& path, TDbxOptions options = {});  // streams to a file
    ~TDbxWriter();
    TDbxWriter(const TDbxWriter&) = delete;
    TDbxWriter& operator=(const TDbxWriter&) = delete;

    void Add(const TStoreMessage& message);
    // An info object of the given entries, without data blocks, as a value of the index tree.
    void AddInfoObject(const std::vector<TDbxInfoEntry>& entries);
    // Writes the index tree and the header, then applies the damage and the truncation.
    void Finish();

    const std::string& Bytes() const;  // the in-memory image, after Finish
    const TDbxLayout& Layout() const { return layout_; }

private:
    void WriteHeaderAndFolderArea();
    void WriteIndex();
    void ApplyDamage();

    TDbxOptions options_;
    std::unique_ptr<TByteSink> sink_;
    TDbxLayout layout_;
    std::vector<bool> indexed_;  // per message: a value of the index tree
    bool finished_ = false;
};

// A whole .dbx image in memory.
std::string BuildDbx(const std::vector<TStoreMessage>& messages, const TDbxOptions& options = {});

// One folder of a folder list (Folders.dbx).
struct TFolderListEntry {
    uint32_t Id = 0;
    uint32_t ParentId = 0xFFFFFFFF;  // the top
    std::string Name;
    std::string FileName;  // empty: no entry
    uint32_t Flags = 0;
    uint32_t MessageCount = 0;
    uint32_t UnreadCount = 0;
    uint32_t Special = 0;  // 0: no entry
    uint32_t AccountKind = 3;
};

// The entries of a folder's info object, in the order the mail client writes them.
std::vector<TDbxInfoEntry> FolderInfoEntries(const TFolderListEntry& folder);

// A folder list: a .dbx with the folder list's magic number whose index tree leads to one
// folder-info object per folder. FanOut, Tree, HeaderCount, Damage and TruncateTo apply.
std::string BuildFolderList(const std::vector<TFolderListEntry>& folders, TDbxOptions options = {});
void WriteFolderList(const std::string& path, const std::vector<TFolderListEntry>& folders, TDbxOptions options = {});

// One folder of a version 4 folder tree (FOLDERS.NCH). The writer adds the root (index 0)
// and links each folder's parent to it as its child or as the next sibling of the one before,
// in the order given; Child and Sibling override those links for damaged trees.
struct TNchFolder {
    uint32_t Index = 1;
    uint32_t ParentIndex = 0;  // 0: the top
    std::string Name;
    std::string FileName;  // written as given (".mbx" may be left off)
    uint32_t Type = 0;
    std::optional<uint32_t> Child;
    std::optional<uint32_t> Sibling;
};

struct TNchOptions {
    std::optional<uint32_t> FirstRecord{};  // written at byte 20 instead of the first record's offset
    // Record k (0 is the root) links to the record at this list position as its next, or to
    // this raw offset.
    std::optional<std::pair<size_t, size_t>> NextLinksTo{};
    std::optional<std::pair<size_t, uint32_t>> NextRawOffset{};
    std::optional<uint64_t> TruncateTo{};
};

// Record offsets in list order (the root first).
std::string BuildNchTree(const std::vector<TNchFolder>& folders, const TNchOptions& options = {},
                         std::vector<uint32_t>* recordOffsets = nullptr);
void WriteNchTree(const std::string& path, const std::vector<TNchFolder>& folders, const TNchOptions& options = {});

struct TMbxOptions {
    bool WriteIndex = true;  // also an .idx
    bool BadMagic = false;
    bool BadIndexMagic = false;
    std::optional<uint32_t> HeaderCount;       // .mbx count instead of the number of messages
    std::optional<uint32_t> IndexHeaderCount;  // .idx count instead of the number of messages
    uint32_t RecordPadding = 0;                // bytes after each text, inside its record
    bool IndexStringsWithNul = true;           // counted strings end with a NUL that they count
    std::optional<uint64_t> TruncateTo;        // the .mbx is cut to this many bytes
    std::optional<uint64_t> IndexTruncateTo;   // the .idx is cut to this many bytes
};

struct TMbxLayout {
    std::vector<uint64_t> Records;       // .mbx offset of each message record
    std::vector<uint64_t> IndexRecords;  // .idx offset of each index record
};

class TMbxWriter {
public:
    explicit TMbxWriter(TMbxOptions options = {});  // in memory
    // Streams to the .mbx file and to the .idx beside it (same name, extension ".idx").
    TMbxWriter(const std::string& mbxPath, TMbxOptions options = {});
    ~TMbxWriter();
    TMbxWriter(const TMbxWriter&) = delete;
    TMbxWriter& operator=(const TMbxWriter&) = delete;

    void Add(const TStoreMessage& message);
    void Finish();

    const std::string& Bytes() const;       // the .mbx image, after Finish
    const std::string& IndexBytes() const;  // the .idx image, after Finish
    const TMbxLayout& Layout() const { return layout_; }

private:
    TMbxOptions options_;
    std::unique_ptr<TByteSink> mbx_;
    std::unique_ptr<TByteSink> idx_;
    TMbxLayout layout_;
    bool finished_ = false;
};

struct TMbxImages {
    std::string Mbx;
    std::string Idx;  // empty when WriteIndex is false
};
TMbxImages BuildMbx(const std::vector<TStoreMessage>& messages, const TMbxOptions& options = {});

// A message text with the given header lines and body, CR LF line ends.
std::string MessageText(const std::vector<std::string>& headerLines, std::string_view body);

// FILETIME of a calendar time in UTC.
uint64_t FileTimeOf(int year, unsigned month, unsigned day, unsigned hour = 0, unsigned minute = 0,
                    unsigned second = 0);

}  // namespace brindle::testsupport
