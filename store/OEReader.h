#pragma once
// The store reader contract and format detection. A bare TOEReader only detects a file's
// kind; TDBXReader and TMBXReader read the two kinds of folder file.
#include "platform/ByteSource.h"
#include "platform/Exceptions.h"
#include "platform/Warnings.h"
#include "store/MessageInfo.h"
#include "store/SummaryStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brindle {

// Raised by the main window when a file is of neither kind: "File is not in supported format."
class EOEReaderException : public Exception {
public:
    using Exception::Exception;
};

enum : uint8_t {
    kFileKindUnknown = 0,
    kFileKindOE4 = 1,  // .mbx, magic "JMF6"
    kFileKindOE5 = 2,  // .dbx, magic CF AD 12 FE
};

// The kind of store that a file's first four bytes name.
uint8_t DetectFileKind(std::string_view firstBytes);

// Opens a file by path as a byte source; replaceable so that tests and fuzzers need no files.
using TFileOpener = std::function<std::unique_ptr<TByteSource>(const std::string& path)>;
// Tells whether a file exists (the .idx beside an .mbx).
using TFileExists = std::function<bool(const std::string& path)>;

class TOEReader {
public:
    TOEReader();
    virtual ~TOEReader();
    TOEReader(const TOEReader&) = delete;
    TOEReader& operator=(const TOEReader&) = delete;

    // The base class answers these with empty values; the concrete readers implement them.
    // GetMessageHeader and GetMessageText raise the reader's exception with "Message index
    // out of range." for an index outside the messages (the .mbx reader answers a header
    // outside its records with an empty text).
    virtual std::string GetFolderName();
    virtual std::string GetMessageHeader(int32_t Index);
    virtual std::string GetMessageText(int32_t Index);
    virtual int32_t GetMessageCount();
    // A copy of summary Index; an index outside the summaries gives an empty record.
    virtual TMessageInfo GetMessageInfo(int32_t Index) const;
    // Opens the file and detects its kind from its first four bytes.
    virtual void Open(const std::string& FileName);
    virtual void ReadMessageInfos();

    // Hands over the file at FileName, already open, for the next Open of that name, so that
    // the store opener's file is not opened a second time.
    void SetOpenedFile(const std::string& FileName, std::unique_ptr<TByteSource> source);

    // Whether ReadMessageInfos finds each message's size (default). A .dbx store finds it by
    // walking every block chain, which touches the whole file; without it Size is 0 and a
    // message's text is read without knowing its length first.
    void SetSummarySizes(bool wanted) { summarySizes_ = wanted; }

    // What follows ReadMessageInfos: a caller that reads every text right after it (an export)
    // says OverSameRange, and the reading policy decides whether the pages stay mapped for it.
    void SetFollowingPass(TFollowingPass next) { followingPass_ = next; }

    // Damage that reading tolerates is told to the sink; none by default.
    void SetWarningSink(TWarningSink sink) { warnings_ = std::move(sink); }

    const std::string& FileName() const { return fileName_; }
    bool Loaded() const { return loaded_; }
    uint8_t FileKind() const { return fileKind_; }

    // Replaces how files are opened and probed (default: the real file system).
    void SetFileSystem(TFileOpener opener, TFileExists exists);

    // Bytes that the summaries built by ReadMessageInfos take in memory.
    size_t SummaryMemoryUsage() const { return messages_.MemoryUsage(); }

protected:
    const TByteSource& Stream() const;
    std::unique_ptr<TByteSource> OpenOther(const std::string& path) const;
    bool FileExists(const std::string& path) const;
    void Warn(std::string text, TErrorContext context = {}) const;
    // The end of the summaries' pass over a range of the file.
    void EndSummaryPass(const TByteSource& file, uint64_t off, uint64_t n) const {
        file.EndPass(off, n, followingPass_);
    }

    std::string fileName_;
    bool loaded_ = false;
    bool summarySizes_ = true;
    TFollowingPass followingPass_ = TFollowingPass::None;
    uint8_t fileKind_ = kFileKindUnknown;
    // The summaries, one per message in the folder's order; empty until ReadMessageInfos.
    TSummaryStore messages_;

private:
    std::unique_ptr<TByteSource> stream_;
    std::string pendingName_;
    std::unique_ptr<TByteSource> pendingSource_;
    TWarningSink warnings_;
    TFileOpener opener_;
    TFileExists exists_;
};

// Windows FILETIME (100 ns intervals since 1601-01-01 UTC) to a date-time value, in UTC; 0
// (unknown) for a time past the year 9999.
TDateTime FileTimeToDateTime(uint64_t Value);

}  // namespace brindle
