#pragma once
// The reader of version 4 folders: the message file (.mbx) with the optional index file
// (.idx) beside it. Open scans the message records once and finds each header block; the
// summaries come from the index file when it exists, else from the header lines.
#include "store/OEReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

class EMBXReaderException : public Exception {
public:
    using Exception::Exception;
};

// One message record found in the .mbx.
struct TMBX_MessageInfo {
    uint32_t Tag = 0;  // the record's first four bytes, not interpreted
    uint32_t MessageNumber = 0;
    uint32_t RecordLength = 0;
    uint32_t TextLength = 0;
    uint64_t TextOffset = 0;  // the record's offset + 16
    // The header block is HeaderLength bytes: at TextOffset in the file, or, when it had to
    // be put together from pieces cut at NUL bytes, at HeaderArenaPos in the reader's arena.
    uint64_t HeaderArenaPos = 0;
    uint32_t HeaderLength = 0;
    bool HeaderInArena = false;
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

    const std::vector<TMBX_MessageInfo>& MessageRecords() const { return records_; }
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
    void ReadHeaderText(TMBX_MessageInfo& record);
    bool FindContiguousHeader(TMBX_MessageInfo& record);
    void AssembleHeaderFromPieces(TMBX_MessageInfo& record);
    void ChargeScan(uint64_t bytes);
    void ReadFromIndexFile(const std::string& indexName);
    void ReadFromHeaderLines();

    uint32_t count_ = 0;
    std::vector<TMBX_MessageInfo> records_;
    std::string headerArena_;
    uint64_t scanBudget_ = 0;
    std::unique_ptr<TByteSource> index_;
};

}  // namespace brindle
