#pragma once
// Rescue: every message text that a store file still holds, found by reading the whole file,
// with the summary that its own header lines give (the index may no longer have one).
#include "platform/ByteSource.h"
#include "store/DBXScan.h"
#include "store/IndexIterator.h"
#include "store/MBXScan.h"
#include "store/PackedRecords.h"

#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace brindle {

// Subject, sender, date and message id from a message's own header lines, decoded to UTF-8.
struct THeaderSummary {
    std::string Subject;
    std::string From;
    std::string Date;
    std::string MessageID;
};
// Reads at most the first 64 KiB of the text for its header block. Undeclared 8-bit text is
// read in the store's code page (a label) when one is given, before the detector.
THeaderSummary SummarizeHeader(std::string_view text, const std::string& codePage = {});

struct TRescuedMessage {
    TFoundMessage Found;
    THeaderSummary Header;
};

// What a rescue found: the scan's list of messages with each one's header summary, packed (an
// all-empty summary, as a text without header lines has, takes 4 bytes). Messages are read
// back as values. The summaries are put in parts, each by one thread.
class TRescuedList {
public:
    using TIterator = TIndexIterator<TRescuedList, TRescuedMessage>;

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    TRescuedMessage operator[](size_t i) const;
    // Throws std::out_of_range past the end.
    TRescuedMessage at(size_t i) const;
    TIterator begin() const { return {this, 0}; }
    TIterator end() const { return {this, count_}; }
    std::vector<TRescuedMessage> ToVector() const;

    // Room for the summaries of every message of found, in parts that begin at partStarts
    // (rising, the first 0). found must outlive the list's contents.
    void Reset(const TFoundList& found, const std::vector<size_t>& partStarts);
    void clear();
    // Stores message i's summary; from one thread per part at a time.
    void PutHeader(size_t i, const THeaderSummary& header);
    // The text's size as read whole, instead of the scan's.
    void SetSize(size_t i, uint64_t size);

private:
    size_t PartOf(size_t i) const;

    const TFoundList* found_ = nullptr;
    size_t count_ = 0;
    std::vector<size_t> partStarts_;
    std::vector<TPackedRecords> parts_;
    std::vector<std::string> scratch_;  // per part
    // Sizes that SetSize made differ from the scan's, by message, in rising order: a text
    // read whole is mostly as long as the scan found it.
    struct TSizeOverride {
        size_t Message;
        uint64_t Size;
    };
    std::vector<TSizeOverride> sizes_;
};

class TStoreRescue {
public:
    // Opens the file (and a version 4 folder's index file beside it); throws EFOpenError. A
    // file that begins as a version 4 folder is scanned as one, any other as a .dbx, whose
    // header may be lost. With readWhole a file of up to the reading policy's
    // RescueReadWholeUpTo is read into memory of the rescue's own at once: faster for one pass
    // over every byte, but the memory stays taken while the rescue lives (a mapped file gives
    // its pages back).
    explicit TStoreRescue(const std::string& path, bool readWhole = false);
    ~TStoreRescue();

    // The store's code page (a label), for header text of no declared charset; none by default.
    void SetCodePage(std::string codePage) { codePage_ = std::move(codePage); }
    // As SetCodePage, but decide is asked (once) only when a header holds 8-bit text: most
    // stores never need the decision, which reads the store's summaries.
    void SetCodePageSource(std::function<std::string()> decide) { decideCodePage_ = std::move(decide); }

    // Scans the whole file and reads each message's header; false when cancelled.
    bool Run(const TScanProgress& progress = {});

    // Receives a message with its header and its whole text, lost bytes filled.
    using TTextSink = std::function<void(const TRescuedMessage& message, std::string text)>;
    // As Run, but reads each message's whole text once, in file order, takes the header and the
    // size from it and hands both to onText: the way to write every message without reading it
    // twice.
    bool Run(const TScanProgress& progress, const TTextSink& onText);

    // Only the scan of the whole file, no header or text read: Found() tells what it holds.
    // False when cancelled.
    bool Scan(const TScanProgress& progress = {});
    // What the last Run or Scan found, in file order; empty before.
    const TFoundList& Found() const;
    uint64_t FileSize() const { return file_->Size(); }
    // A version 4 folder's scan, with what it read of the index file; none for a .dbx.
    const mbx::TMbxScan* MbxScan() const { return mbxScan_.get(); }
    // Whether a version 4 folder's index file was found beside it.
    bool HasIndexFile() const { return index_ != nullptr; }

    const TRescuedList& Messages() const { return messages_; }
    // The text of message i of Messages(), lost bytes filled.
    std::string Text(size_t i) const;

private:
    bool Read(const TScanProgress& progress, const TTextSink* onText);
    bool ReadTexts(const std::function<bool()>& goOn, const TTextSink& onText);
    bool SummarizeHeaders(const std::function<bool()>& goOn);
    bool SummarizeRange(size_t from, size_t to, const std::function<bool()>& goOn);
    bool ScanFile(const TScanProgress& progress, bool exactSizes);
    void PrefetchBatch(size_t first, size_t last, uint64_t tail) const;
    std::string TextOf(const TFoundMessage& found, uint64_t maxBytes) const;
    // The code page for a header read from text (from any thread).
    std::string CodePageOf(std::string_view text) const;

    TReadBuffer buffer_;
    std::unique_ptr<TByteSource> file_;
    std::unique_ptr<TByteSource> index_;
    std::unique_ptr<dbx::TDbxScan> dbxScan_;
    std::unique_ptr<mbx::TMbxScan> mbxScan_;
    TRescuedList messages_;
    std::string codePage_;
    std::function<std::string()> decideCodePage_;
    mutable std::once_flag codePageDecided_;
    mutable std::string decidedCodePage_;
};

// What a view tells above a recovered text: that it comes from deleted or unindexed space and
// how many of its bytes are lost, or where a chain that breaks off ends. Empty for a message of
// the index that lost nothing.
std::string RecoveryNotice(const TFoundMessage& found);

// "deleted_0001A2B0_Subject.eml": the kind, the first block's offset in 8 hex digits and the
// subject made safe as in the names of exported messages, within 255 bytes.
std::string RecoveredFileName(const TRescuedMessage& message);

}  // namespace brindle
