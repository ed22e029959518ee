#pragma once
// The export sink that uploads into an IMAP account: each folder of the tree becomes a
// mailbox (found or created and subscribed), each message an APPEND with its flags and
// received time. Folders are filled side by side over up to four connections, one folder on
// each; where the server offers LITERAL+, a folder's APPENDs go out in batches without waiting
// for each answer, a batch as one APPEND where it also has MULTIAPPEND (memory: a batch of at
// most 64 messages or 2 MiB, or one larger message, per connection). What the server confirmed is kept in the upload journal, and a folder that held
// messages before is searched (Message-ID, else size and date) before a message goes in, so
// that a second run after an interruption adds only what is missing.
#include "mailbox/ExportSink.h"
#include "remote/ImapSession.h"
#include "remote/UploadJournal.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace brindle {

// Mailboxes of a server by name, with the special-use ones.
struct TServerMailboxes {
    char Delimiter = '/';
    std::set<std::string> Names;                        // modified UTF-7, as listed
    std::map<std::string, std::string> SpecialUse;      // "\Sent" -> "Sent"
};

// Where the tree goes on the server.
struct TUploadTarget {
    // The top of the tree, as UTF-8 ("Imported mail"); ignored with SpecialFolders.
    std::string ParentFolder = "Imported mail";
    // The inbox into INBOX, sent, deleted and drafts folders into the server's \Sent, \Trash
    // and \Drafts mailboxes (at any depth of the tree), the others at the top; sub-folders
    // below their parent's mailbox.
    bool SpecialFolders = false;
};

// One folder name (UTF-8) as one level of a mailbox name: the delimiter and "/" become "_", an empty
// name becomes "Folder", the rest is modified UTF-7.
std::string MailboxLevel(std::string_view utf8, char delimiter);

// The mailbox of a folder, given the mailbox of its parent folder (none at the top) and the
// server's mailboxes: special folders first (with target.SpecialFolders), else the parent's
// name, the delimiter and the level.
std::string MailboxFor(const TFolderNode& node, const std::string& name, const std::string* parentMailbox,
                       const TUploadTarget& target, const TServerMailboxes& server);

struct TUploadCounts {
    std::atomic<size_t> FoldersCreated{0};
    std::atomic<size_t> Uploaded{0};
    std::atomic<size_t> AlreadyThere{0};
    // Messages sent together with others (pipelined) that the server did not confirm; each
    // was told to TImapUploadOptions::Refused.
    std::atomic<size_t> Failed{0};
};

struct TImapUploadOptions {
    TImapConnectOptions Connect;
    TUploadTarget Target;
    // Log in, find what exists and tell what would be done; nothing is created or appended.
    bool DryRun = false;
    unsigned Connections = 4;
    // The journal file; empty for the account's one under XDG_STATE_HOME.
    std::string JournalPath;
    // Each message of Counts().Failed, as one line with the server's answer; called from the
    // threads that fill folders, one call at a time.
    std::function<void(const std::string&)> Refused;
};

class TImapUploadSink : public TExportSink {
public:
    explicit TImapUploadSink(TImapUploadOptions options);
    ~TImapUploadSink() override;

    void Begin() override;
    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override;
    bool WritesFoldersSideBySide() const override { return !options_.DryRun; }
    // The connections wait for the server far more than for a core.
    unsigned FoldersSideBySide() const override { return options_.Connections; }
    void Finish() override;
    std::vector<std::string> Notes() const override;

    const TUploadCounts& Counts() const { return counts_; }
    // With DryRun: "create NAME" and "append N messages to NAME" lines, in tree order.
    const std::vector<std::string>& Plan() const { return plan_; }

private:
    friend class TImapFolderOutput;

    std::unique_ptr<TImapSession> TakeSession();
    void GiveBack(std::unique_ptr<TImapSession> session);
    // Creates (and subscribes) a mailbox that the server does not have yet.
    void EnsureMailbox(const std::string& mailbox, const std::string& shown);
    void Refuse(const std::string& line);

    TImapUploadOptions options_;
    std::unique_ptr<TUploadJournal> journal_;
    std::unique_ptr<TImapSession> control_;  // lists and creates mailboxes
    TServerMailboxes server_;
    std::string parentMailbox_;
    TUploadCounts counts_;
    std::vector<std::string> plan_;
    std::vector<std::string> notes_;
    std::set<std::string> usedMailboxes_;

    std::mutex poolLock_;
    std::condition_variable poolFreed_;
    std::vector<std::unique_ptr<TImapSession>> idle_;
    unsigned sessionsOpen_ = 0;

    std::mutex refusedLock_;
};

}  // namespace brindle
