#pragma once
// The reader of version 4 folders: the message file (.mbx) with the optional index file
// (.idx) beside it. Open scans the message records once and finds each header block; the
// summaries come from the index file when it exists, else from the header lines.
#include "store/OEReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class EMBXReaderException : public Exception {
public:
    using Exception::Exception;
};

// One message record found in the .mbx, as its head gives it.
struct TMBX_MessageInfo {
    uint32_t Tag = 0;  // the record's first four bytes, not interpreted
    uint32_t MessageNumber = 0;
    uint32_t RecordLength = 0;
    uint32_t TextLength = 0;
    uint64_t TextOffset = 0;  // the record's offset + 16
};

class TMBXReader : public TOEReader {
public:
    TMBXReader() = default;
    ~TMBXReader() override;

    // The file name without its directory and its last extension.
    std::string GetFolderName() override;
    // The header block found by Open; empty for an index outside the records found.
    std::string GetMessageHeader(int32_t Index) override;
    // The message's whole text: every byte the record's text length holds, NULs too.
    std::string GetMessageText(int32_t Index) override;
    // The count in the .mbx header, also when fewer records were found.
    int32_t GetMessageCount() override;
    void Open(const std::string& FileName) override;
    void ReadMessageInfos() override;

    // How many message records Open found.
    size_t RecordCount() const { return records_.size(); }
    // Record i of those found (i < RecordCount()), read again from its head.
    TMBX_MessageInfo MessageRecord(size_t Index) const;
    // The header block of a record found by Open.
    std::string_view HeaderText(size_t Index) const;

    // The index file's name: the extension of FileName replaced by ".idx".
    static std::string IndexFileName(const std::string& FileName);
    // Every name under which the index file is looked for, in the order tried: IndexFileName,
    // then the same with ".IDX" and ".Idx".
    static std::vector<std::string> IndexFileSpellings(const std::string& FileName);

private:
    // The first of IndexFileSpellings that exists; empty when none does.
    std::string FindIndexFile() const;
    void ScanRecords();
    static TMBX_MessageInfo RecordAt(const TByteSource& file, uint64_t textOffset);
    // The header block's length (0: none) of the record that was just found, the block put
    // together in the arena when it had to be.
    uint32_t ReadHeaderText(const TMBX_MessageInfo& record);
    std::optional<uint32_t> FindContiguousHeader(const TMBX_MessageInfo& record);
    uint32_t AssembleHeaderFromPieces(const TMBX_MessageInfo& record);
    void ChargeScan(uint64_t bytes);
    void ReadFromIndexFile(const std::string& indexName);
    void ReadFromHeaderLines();

    // Per record found: where its text starts and how long its header block is. The record's
    // other numbers are read from its head again when asked for, so that a folder of millions
    // of tiny messages takes 8 bytes per record here.
    struct TRecordPlace {
        uint32_t TextOffset = 0;
        uint32_t HeaderLength = 0;
    };

    uint32_t count_ = 0;
    std::vector<TRecordPlace> records_;
    // The header blocks that had to be put together from pieces cut at NUL bytes: the record's
    // position and where its block starts in headerArena_, in the order of the records.
    std::vector<std::pair<uint32_t, uint64_t>> arenaHeaders_;
    std::string headerArena_;
    uint64_t scanBudget_ = 0;
    std::unique_ptr<TByteSource> index_;
};

}  // namespace brindle
