#pragma once
// What the desktop program has open, below its windows: the store folder (if any), the
// store with its reader, the code page its summaries are read in, the warnings that opening
// gave, and the whole-file scan with what it found. Views hold the session or a message
// handle from it, never the reader; the session tells its listeners before what they refer
// to goes away. One thread uses a session; only a scan's Run may go to another.
#include "mailbox/CodePageChoice.h"
#include "mailbox/Rescue.h"
#include "platform/Exceptions.h"
#include "store/FoundMessage.h"
#include "store/MessageInfo.h"
#include "store/OEReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

// Raised by a message handle whose store or scan has been closed.
class EMessageGone : public Exception {
public:
    using Exception::Exception;
};

// What a scan found: the scan itself with the texts and its records, or (for tests and tools)
// bare records with the texts given for them (empty for those beyond). The records are the
// scan's, unpacked, as the views of a session read them over and over.
struct TFoundSet {
    std::shared_ptr<const TStoreRescue> Scan;
    std::vector<TRescuedMessage> Records;
    std::vector<std::string> Texts;

    const std::vector<TRescuedMessage>& Messages() const { return Records; }
    std::string Text(size_t position) const {
        if (Scan) return Scan->Text(position);
        return position < Texts.size() ? Texts[position] : std::string();
    }
};

// One message of the open store: a summary of its index, or a message that the scan found
// (recovered), which may be one the index no longer reaches; or a loose message, read from a
// file of its own or from a store that is not open, which holds its text. Every kind answers
// the same questions. A handle stays safe to hold after its store is closed: it is no longer
// Valid() and every question about the message raises EMessageGone.
class TMessageHandle {
public:
    TMessageHandle() = default;
    // A loose message: of kind Indexed, of no index, always Valid(); its text is read in
    // codePage (a label, empty for none), and views tell notice above it.
    static TMessageHandle OfText(std::string text, std::string codePage = {}, std::string notice = {});

    bool Valid() const;
    bool Recovered() const { return recovered_; }
    // The summary: an indexed message's record with the store's bytes (read them in the code
    // page); for a recovered message what its own header gives, decoded to UTF-8 already,
    // read, of normal priority, with DateText its Date line and Received 0; for a loose one
    // what EmlSummary gives.
    TMessageInfo Summary() const;
    // The header block (see HeaderBlockOf), without the empty line that ends it.
    std::string Header() const;
    // The whole text; a recovered text has its lost bytes filled.
    std::string Text() const;
    // Indexed for a row of the index; what the scan found it as for a recovered one.
    TFoundKind Kind() const;
    // Bytes of the text that the file no longer holds; 0 for a message of the index.
    uint32_t LostBytes() const;
    // The position in the summaries of an indexed handle.
    std::optional<int32_t> Index() const;
    // The scan's record of a recovered message.
    const TRescuedMessage& Rescued() const;
    // What a view tells above the text of a recovered message (RecoveryNotice), or the notice
    // a loose message was given; empty for the other kinds.
    std::string Notice() const;
    // The code page (a label) that reads 8-bit text of no declared charset: the store's as
    // the session reads it now for a message of the index; none for a recovered message,
    // whose header was read by rules of its own; the given one for a loose message.
    std::string CodePage() const;
    // The name under which the message is saved: by its summary's subject read in codePage,
    // or by its kind and offset when recovered; a loose message by its subject alone.
    std::string SaveName(const std::string& codePage) const;

private:
    friend class TMailboxSession;
    struct TStore;
    struct TLoose;
    TMessageHandle(std::weak_ptr<TStore> store, int32_t index);
    TMessageHandle(std::weak_ptr<const TFoundSet> found, size_t position);
    std::shared_ptr<TStore> StoreOrThrow() const;
    std::shared_ptr<const TFoundSet> FoundOrThrow() const;

    std::weak_ptr<TStore> store_;
    std::weak_ptr<const TFoundSet> found_;
    std::shared_ptr<const TLoose> loose_;
    bool recovered_ = false;
    int32_t index_ = -1;
    size_t position_ = 0;
};

// The summary that a recovered message's own header gives (see TMessageHandle::Summary).
TMessageInfo RecoveredSummary(const TRescuedMessage& message);

class TMailboxSession {
public:
    enum class TChange : uint8_t {
        StoreClosing,   // the store, its handles and the scan's result go right after this
        StoreOpened,    // a reader exists now (its summaries may still be unread)
        CodePage,       // CodePage() reads differently
        Warnings,       // Warnings() changed
        FoundClosing,   // what the scan found and its handles go right after this
        ScanStarted,
        ScanFinished,   // Rescue() holds the result, or the scan failed (ScanError())
        FolderOpened,
        FolderClosed,
    };
    using TListener = std::function<void(TChange)>;

    TMailboxSession();
    ~TMailboxSession();
    TMailboxSession(const TMailboxSession&) = delete;
    TMailboxSession& operator=(const TMailboxSession&) = delete;

    // Listeners are told in the order they were added; the number takes one away again.
    int Listen(TListener listener);
    void Unlisten(int id);

    // The store folder: its absolute path and the code page decided for the whole folder.
    // Opening one closes the open store; stores opened meanwhile belong to it.
    void OpenStoreFolder(std::string dir, std::string decidedCodePage);
    void CloseStoreFolder();
    const std::string& StoreFolder() const { return folderDir_; }
    const std::string& StoreFolderCodePage() const { return folderCodePage_; }

    // Closes what is open, then makes the reader and opens the file; warnings of reading are
    // collected. The reader stays when Open throws (it then has no summaries).
    void OpenStore(const std::string& path);
    // Reads the open store's summaries (ReadMessageInfos); throws what the reader throws.
    void ReadSummaries();
    // As OpenStore, with a reader made elsewhere, already open.
    void AdoptReader(std::unique_ptr<TOEReader> reader);
    // Tells StoreClosing, then lets go of the reader, the scan and its result.
    void CloseStore();
    bool HasStore() const;
    // The open store's reader, for what reads the store as a whole (properties, addresses).
    // Do not keep it: listen for StoreClosing instead.
    TOEReader* Reader() const;
    int32_t MessageCount() const;

    // How the code page is chosen for the open store, and the label it gives: a fixed choice
    // its own, an automatic one the store folder's decision or the store's own, decided once.
    void SetCodePageChoice(TCodePageChoice choice);
    const TCodePageChoice& CodePageChoice() const { return choice_; }
    const std::string& CodePage() const { return codePage_; }

    const std::vector<std::string>& Warnings() const { return warnings_; }
    void AddWarning(std::string text);
    void ClearWarnings();

    // A whole-file scan of path: of the open store (in its background), or asResult of a
    // file that could not be opened as one (the store is closed first). The scan's file is
    // opened here (EFOpenError); its Run may go to another thread, and FinishScan on this
    // thread takes the result. A scan started or cancelled later makes this one stale.
    std::shared_ptr<TStoreRescue> StartScan(const std::string& path, bool asResult);
    // The scan's end: when it is the current scan and ok, its messages become Rescue().
    // False for a stale scan, which changes nothing.
    bool FinishScan(const std::shared_ptr<TStoreRescue>& scan, bool ok, std::string error = {});
    void CancelScan();
    bool ScanRunning() const { return scan_ != nullptr; }
    // The scan runs or ran on a file that could not be opened: its messages are all the list.
    bool ScanIsResult() const { return scanIsResult_; }
    const std::string& ScanPath() const { return scanPath_; }
    const std::string& ScanError() const { return scanError_; }
    const TStoreRescue* Rescue() const { return found_ ? found_->Scan.get() : nullptr; }
    // What the scan found, none before its end.
    const std::vector<TRescuedMessage>* Found() const { return found_ ? &found_->Messages() : nullptr; }
    // Messages of the result that the index does not reach (every kind but Indexed).
    size_t UnindexedCount() const;
    // For tests and tools: found messages as though a scan had given them.
    void AdoptFound(TFoundSet found, bool asResult);

    // Handles: summary index of the reader, or position in the scan's messages. Out of range
    // (or nothing open) gives a handle that is not Valid().
    TMessageHandle Indexed(int32_t index) const;
    TMessageHandle Recovered(size_t position) const;
    size_t RecoveredCount() const;
    const TRescuedMessage* RecoveredAt(size_t position) const;

private:
    void Tell(TChange change);
    void DropScan();
    std::string DecideOwnCodePage();

    std::vector<std::pair<int, TListener>> listeners_;
    int nextListener_ = 0;
    std::string folderDir_;
    std::string folderCodePage_;
    std::shared_ptr<TMessageHandle::TStore> store_;
    TCodePageChoice choice_;
    std::string codePage_;
    std::optional<std::string> ownCodePage_;  // decided from the store's summaries, once
    std::vector<std::string> warnings_;
    std::shared_ptr<TStoreRescue> scan_;
    std::shared_ptr<const TFoundSet> found_;
    bool scanIsResult_ = false;
    std::string scanPath_;
    std::string scanError_;
};

}  // namespace brindle
