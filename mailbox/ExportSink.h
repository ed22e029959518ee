#pragma once
// Where an export writes: one sink per output format (.eml tree, mbox, Maildir, an IMAP
// account). The tree walk above the sinks decides the order of folders, which messages go
// (the damaged-store fallback, chosen indexes, a message filter), the code page and the order
// of reports; a sink only makes folders and writes messages into them.
#include "mailbox/StoreFolder.h"
#include "store/FoundMessage.h"
#include "store/MessageInfo.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// One folder of the tree, as the walk hands it to a sink.
struct TSinkFolder {
    const TFolderNode* Node = nullptr;
    size_t Number = 0;               // position in tree order, from 0
    std::vector<std::string> Names;  // the names from the top down to this folder (UTF-8)
    std::string Shown;               // the same joined by "/", for messages to the user
    // The mail's inbox: the store folder's own (a folder of the top whose Special is the inbox),
    // or the only folder of the export of a single store. A sink may put it at its top.
    bool Inbox = false;
};

// One message, as the walk hands it to a sink.
struct TSinkMessage {
    std::string_view Text;      // the raw text as the store holds it
    const TMessageInfo* Info;   // flags, received time, sender, subject (summary bytes)
    int32_t Index = 0;          // in its store, or in the scan's list for a recovered one
    // Found by a scan of the whole file instead of through the index, and of what kind.
    std::optional<TFoundKind> Recovered;
    std::string_view CodePage;  // the label the summary texts are read in
    std::string_view Folder;    // the folder's names from the top, joined by "/"
};

// The output of one folder. AddMessage and End may run on a worker thread (at most one thread
// at a time per folder); they throw Exception when a message or the folder cannot be written,
// and the walk reports it and goes on.
class TSinkFolderOutput {
public:
    virtual ~TSinkFolderOutput() = default;
    virtual void AddMessage(const TSinkMessage& message) = 0;
    // Everything added is on disk (or on the server) when End returns.
    virtual void End() = 0;
    // Messages that AddMessage took without an error but that a later error kept from the disk
    // (or the server), since the last call; the walk counts them as errors, not as exported.
    virtual size_t TakeLost() { return 0; }

    // Whether Withdraw can take messages out again, before End.
    virtual bool CanWithdraw() const { return false; }
    // Takes out again the messages of the given AddMessage calls (numbered from 0 over the calls
    // that returned), in increasing order; once only. Returns how many are out of the output
    // (none when an earlier error closed it, or when called again); the others are still in it.
    // Throws Exception when the output is gone with them; then TakeLost counts the others.
    virtual size_t Withdraw(std::span<const size_t> added) {
        (void)added;
        return 0;
    }
};

class TExportSink {
public:
    virtual ~TExportSink() = default;
    // Called before the first folder; throws Exception when nothing can be written.
    virtual void Begin() {}
    // Makes the output of a folder, in tree order: parent is the output of its parent folder
    // (null at the top, or when the parent could not be made and the sink is asked anyway).
    // Throws Exception when the folder cannot be made; its sub-folders are then not asked.
    virtual std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder,
                                                           TSinkFolderOutput* parent) = 0;
    // Whether the messages of different folders may be written side by side, each folder on
    // one thread at a time, after all folders were made. Otherwise a folder's messages are
    // added right after BeginFolder, on the walk's thread.
    virtual bool WritesFoldersSideBySide() const { return false; }
    // How many folders side by side at most; 0 for as many as there are cores (up to 4). A sink
    // that mostly waits for a server asks for more than the cores.
    virtual unsigned FoldersSideBySide() const { return 0; }
    // After the last folder ended.
    virtual void Finish() {}
    // Lines that tell the user what the sink did beyond the messages (shortened names...).
    virtual std::vector<std::string> Notes() const { return {}; }
};

}  // namespace brindle
