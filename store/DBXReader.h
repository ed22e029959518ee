#pragma once
// The reader of version 5/6 folder files (.dbx): checks the header, walks the message index
// tree once and decodes every message-info object; message texts are read from the chains of
// data blocks on every request.
#include "store/DBXFormat.h"
#include "store/OEReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

class TDBXReader : public TOEReader {
public:
    TDBXReader() = default;
    ~TDBXReader() override;

    // The folder's name from the folder area; empty when Open failed before reading it.
    std::string GetFolderName() override;
    // The header block: the text up to and including the CR that begins the first
    // CR LF CR LF, read only as far as needed; empty when there is none.
    std::string GetMessageHeader(int32_t Index) override;
    // The whole text: every byte that the text counts of the data blocks hold, NULs too.
    std::string GetMessageText(int32_t Index) override;
    // The header's message count (0 when Open rejected the file before accepting it).
    int32_t GetMessageCount() override;
    void Open(const std::string& FileName) override;
    void ReadMessageInfos() override;

    // The file offsets of the message-info objects, in the folder's order.
    const std::vector<uint32_t>& InfoOffsets() const { return infoOffsets_; }

private:
    // The text of the message's blocks; stops after the block that completes the header
    // block when untilHeaderEnd is set.
    std::string ReadBlocks(int32_t Index, bool untilHeaderEnd) const;

    uint32_t count_ = 0;
    std::string folderName_;
    std::vector<uint32_t> infoOffsets_;
};

}  // namespace brindle
