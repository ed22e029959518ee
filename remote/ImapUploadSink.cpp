#include "remote/ImapUploadSink.h"

#include "cli/Sha256.h"
#include "mailbox/FolderExport.h"
#include "mailbox/MessageDate.h"
#include "platform/ModifiedUtf7.h"
#include "platform/StringList.h"
#include "remote/MessageFacts.h"
#include "store/FolderList.h"
#include "store/MessageFlags.h"

#include <algorithm>

namespace brindle {
namespace {

constexpr std::string_view kUnnamedFolder = "Folder";
constexpr char kDelimiterStandIn = '_';
// Many servers keep mailboxes as files and refuse "/" in a name whatever their delimiter.
constexpr char kSlash = '/';
constexpr std::string_view kInbox = "INBOX";
constexpr std::string_view kRecoveredKeyword = "$Recovered";
// A batch of pipelined APPENDs holds at most this many messages or bytes (a larger message
// goes alone).
constexpr size_t kBatchMessages = 64;
constexpr size_t kBatchBytes = size_t{2} << 20;
// Sibling folders that want one mailbox name are numbered up to this far.
constexpr size_t kMaxMailboxNumber = 10000;

std::string_view SpecialUseOf(uint32_t special) {
    switch (special) {
        case kSpecialSent: return "\\Sent";
        case kSpecialDeleted: return "\\Trash";
        case kSpecialDrafts: return "\\Drafts";
        default: return {};
    }
}

// A mailbox name as UTF-8 for messages; a name not in modified UTF-7 is shown as it is.
std::string ShownMailbox(const std::string& mailbox) { return DecodeModifiedUtf7(mailbox).value_or(mailbox); }

std::string Joined(const std::string* parent, char delimiter, const std::string& level) {
    return parent ? *parent + delimiter + level : level;
}

}  // namespace

std::string MailboxLevel(std::string_view utf8, char delimiter) {
    std::string name(utf8.empty() ? kUnnamedFolder : utf8);
    for (char& c : name)
        if (c == delimiter || c == kSlash) c = kDelimiterStandIn;
    return EncodeModifiedUtf7(name);
}

std::string MailboxFor(const TFolderNode& node, const std::string& name, const std::string* parentMailbox,
                       const TUploadTarget& target, const TServerMailboxes& server) {
    if (target.SpecialFolders) {
        if (node.Special == kSpecialInbox) return std::string(kInbox);
        const std::string_view use = SpecialUseOf(node.Special);
        if (!use.empty())
            if (auto found = server.SpecialUse.find(std::string(use)); found != server.SpecialUse.end())
                return found->second;
    }
    return Joined(parentMailbox, server.Delimiter, MailboxLevel(name, server.Delimiter));
}

// The messages of one folder, appended over one connection of the pool.
class TImapFolderOutput : public TSinkFolderOutput {
public:
    TImapFolderOutput(TImapUploadSink& sink, std::string mailbox, std::string shown, TMailboxStatus status)
        : sink_(sink), mailbox_(std::move(mailbox)), shown_(std::move(shown)), status_(status) {}
    ~TImapFolderOutput() override { Release(); }

    const std::string& Mailbox() const { return mailbox_; }

    void AddMessage(const TSinkMessage& message) override {
        std::string scratch;
        const std::string_view text = NormalizedLineEnds(message.Text, scratch);
        const std::string sha = Sha256Hex(text);
        const uint32_t occurrence = ++occurrences_[sha];
        if (sink_.journal_->Has(mailbox_, status_.UidValidity, sha, occurrence)) {
            ++sink_.counts_.AlreadyThere;
            return;
        }
        TAppendMessage append = AppendOf(text, message);
        Connected();
        if (status_.Messages > 0) {
            if (std::optional<uint32_t> uid = FoundOnServer(text, append, occurrence)) {
                sink_.journal_->Record(mailbox_, status_.UidValidity, sha, occurrence, *uid);
                ++sink_.counts_.AlreadyThere;
                return;
            }
        }
        if (session_->PipelinesAppends()) {
            Queue(text, append, sha, occurrence, message.Index);
            return;
        }
        TAppended appended;
        try {
            appended = session_->Append(mailbox_, append);
        } catch (const EImapError& error) {
            if (error.Failure() == TImapFailure::Lost) Drop();
            throw;
        }
        if (appended.UidValidity != 0) status_.UidValidity = appended.UidValidity;
        sink_.journal_->Record(mailbox_, status_.UidValidity, sha, occurrence, appended.Uid);
        ++sink_.counts_.Uploaded;
    }

    void End() override {
        Flush();
        Release();
    }

private:
    // A message waiting in the batch, with its own copy of the text.
    struct TPending {
        std::string Text;
        TAppendMessage Append;
        std::string Sha;
        uint32_t Occurrence = 0;
        int32_t Index = 0;
    };

    void Queue(std::string_view text, const TAppendMessage& append, const std::string& sha, uint32_t occurrence,
               int32_t index) {
        pending_.push_back(TPending{std::string(text), append, sha, occurrence, index});
        pendingBytes_ += text.size();
        if (pending_.size() >= kBatchMessages || pendingBytes_ >= kBatchBytes) Flush();
    }

    // Sends the batch and records what the server confirmed; each other message is refused
    // by name, with the server's answer.
    void Flush() {
        if (pending_.empty()) return;
        std::vector<TPending> batch;
        batch.swap(pending_);
        pendingBytes_ = 0;
        std::vector<TAppendMessage> messages;
        messages.reserve(batch.size());
        for (const TPending& pending : batch) {
            messages.push_back(pending.Append);
            messages.back().Text = pending.Text;
        }
        const std::vector<TAppendAnswer> answers = session_->AppendPipelined(mailbox_, messages);
        for (size_t i = 0; i < batch.size(); ++i) {
            if (!answers[i].Confirmed) {
                ++sink_.counts_.Failed;
                sink_.Refuse(shown_ + ": message " + std::to_string(batch[i].Index) + ": APPEND to " +
                             ShownMailbox(mailbox_) + " failed: the server answered: " + answers[i].Refusal);
                continue;
            }
            if (answers[i].Appended.UidValidity != 0) status_.UidValidity = answers[i].Appended.UidValidity;
            sink_.journal_->Record(mailbox_, status_.UidValidity, batch[i].Sha, batch[i].Occurrence,
                                   answers[i].Appended.Uid);
            ++sink_.counts_.Uploaded;
        }
        if (!session_->Usable()) Drop();
    }

    static TAppendMessage AppendOf(std::string_view text, const TSinkMessage& message) {
        TAppendMessage append;
        append.Text = text;
        const uint32_t flags = message.Info ? message.Info->Flags : 0;
        append.Seen = (flags & kFlagRead) != 0;
        append.Answered = (flags & kFlagReplied) != 0;
        append.Flagged = (flags & kFlagFlagged) != 0;
        if (message.Recovered) append.Keywords.emplace_back(kRecoveredKeyword);
        if (message.Info) append.InternalDate = UnixTimeOf(message.Info->Received);
        if (!append.InternalDate)
            if (std::optional<std::string> date = HeaderFieldValue(text, "Date"))
                append.InternalDate = MessageDateSeconds(*date);
        return append;
    }

    // A connection that has this folder examined; after a lost connection a new one is made.
    // The count that decides whether messages are looked for on the server comes from EXAMINE,
    // not from STATUS: a server that was killed may answer STATUS from an index that does not
    // hold the messages it stored last, while EXAMINE reads the mailbox itself.
    void Connected() {
        if (session_ && !session_->Usable()) Drop();
        if (session_) return;
        session_ = sink_.TakeSession();
        const TMailboxStatus examined = session_->Examine(mailbox_);
        if (examined.UidValidity != 0) status_.UidValidity = examined.UidValidity;
        status_.Messages = std::max(status_.Messages, examined.Messages);
    }

    // The UID of the occurrence-th copy of this message on the server. The candidates are
    // found by Message-ID and size, else by size and INTERNALDATE; each is then read whole
    // and compared, since neither tells one message from another for certain.
    std::optional<uint32_t> FoundOnServer(std::string_view text, const TAppendMessage& append, uint32_t occurrence) {
        const uint32_t size = static_cast<uint32_t>(text.size());
        std::vector<TFetchedFacts> found;
        if (std::optional<std::string> id = HeaderFieldValue(text, "Message-ID"); id && !id->empty()) {
            found = session_->FindByMessageId(*id);
            std::erase_if(found, [size](const TFetchedFacts& facts) { return facts.Size != size; });
        } else {
            found = session_->FindBySize(size);
            std::erase_if(found, [&](const TFetchedFacts& facts) {
                return facts.Size != size || (append.InternalDate && facts.InternalDate != append.InternalDate);
            });
        }
        uint32_t same = 0;
        for (const TFetchedFacts& candidate : found) {
            const std::optional<std::string> stored = session_->FetchText(candidate.Uid);
            if (stored && *stored == text && ++same == occurrence) return candidate.Uid;
        }
        return std::nullopt;
    }

    // Hands the connection back to the pool, which closes one that broke.
    void Release() {
        if (session_) sink_.GiveBack(std::move(session_));
    }
    void Drop() { Release(); }

    TImapUploadSink& sink_;
    std::string mailbox_;
    std::string shown_;
    TMailboxStatus status_;
    std::unique_ptr<TImapSession> session_;
    std::unordered_map<std::string, uint32_t> occurrences_;
    std::vector<TPending> pending_;
    size_t pendingBytes_ = 0;
};

// The output of a folder in a dry run: counts what would go.
class TPlannedFolderOutput : public TSinkFolderOutput {
public:
    TPlannedFolderOutput(std::vector<std::string>& plan, std::string mailbox)
        : plan_(plan), mailbox_(std::move(mailbox)) {}
    void AddMessage(const TSinkMessage&) override { ++messages_; }
    void End() override {
        plan_.push_back("append " + std::to_string(messages_) + (messages_ == 1 ? " message to " : " messages to ") +
                        ShownMailbox(mailbox_));
    }
    const std::string& Mailbox() const { return mailbox_; }

private:
    std::vector<std::string>& plan_;
    std::string mailbox_;
    size_t messages_ = 0;
};

TImapUploadSink::TImapUploadSink(TImapUploadOptions options) : options_(std::move(options)) {}

TImapUploadSink::~TImapUploadSink() = default;

void TImapUploadSink::Begin() {
    if (!options_.DryRun) {
        const TImapUrl& url = options_.Connect.Url;
        journal_ = std::make_unique<TUploadJournal>(
            options_.JournalPath.empty() ? TUploadJournal::DefaultPath(url.User, url.Host, url.Port)
                                         : options_.JournalPath);
    }
    control_ = std::make_unique<TImapSession>(options_.Connect);
    server_.Delimiter = control_->Delimiter();
    for (const TListedMailbox& mailbox : control_->List()) {
        server_.Names.insert(mailbox.Name);
        if (!mailbox.SpecialUse.empty() && !server_.SpecialUse.contains(mailbox.SpecialUse))
            server_.SpecialUse[mailbox.SpecialUse] = mailbox.Name;
    }
    if (!options_.Target.SpecialFolders) {
        parentMailbox_ = MailboxLevel(options_.Target.ParentFolder, server_.Delimiter);
        EnsureMailbox(parentMailbox_, options_.Target.ParentFolder);
    }
}

void TImapUploadSink::EnsureMailbox(const std::string& mailbox, const std::string& shown) {
    if (server_.Names.contains(mailbox)) return;
    if (mailbox == kInbox) return;
    if (options_.DryRun) {
        plan_.push_back("create " + ShownMailbox(mailbox));
    } else {
        try {
            control_->Create(mailbox);
            control_->Subscribe(mailbox);
        } catch (const EImapError& error) {
            throw Exception("cannot create the folder " + shown + " on the server: " + error.Message());
        }
        ++counts_.FoldersCreated;
    }
    server_.Names.insert(mailbox);
}

std::unique_ptr<TSinkFolderOutput> TImapUploadSink::BeginFolder(const TSinkFolder& folder,
                                                                TSinkFolderOutput* parent) {
    const TFolderNode& node = *folder.Node;
    std::string parentMailbox = parentMailbox_;
    const std::string* above = options_.Target.SpecialFolders ? nullptr : &parentMailbox;
    if (parent) {
        if (auto* output = dynamic_cast<TImapFolderOutput*>(parent)) parentMailbox = output->Mailbox();
        if (auto* output = dynamic_cast<TPlannedFolderOutput*>(parent)) parentMailbox = output->Mailbox();
        above = &parentMailbox;
    } else if (folder.Names.size() > 1) {
        // The parent could not be made: the whole path below the top.
        for (size_t i = 0; i + 1 < folder.Names.size(); ++i)
            parentMailbox = Joined(above, server_.Delimiter, MailboxLevel(folder.Names[i], server_.Delimiter));
        above = &parentMailbox;
    }
    const std::string name = folder.Names.empty() ? node.Name : folder.Names.back();
    std::string mailbox = MailboxFor(node, name, above, options_.Target, server_);
    const std::string first = mailbox;
    for (size_t number = 2; usedMailboxes_.contains(mailbox) && number <= kMaxMailboxNumber; ++number)
        mailbox = first + EncodeModifiedUtf7(" (" + std::to_string(number) + ")");
    if (mailbox != first)
        notes_.push_back(folder.Shown + " went into " + ShownMailbox(mailbox) + " (the name was taken)");
    usedMailboxes_.insert(mailbox);
    EnsureMailbox(mailbox, folder.Shown);
    if (options_.DryRun) return std::make_unique<TPlannedFolderOutput>(plan_, mailbox);
    TMailboxStatus status;
    try {
        status = control_->Status(mailbox);
    } catch (const EImapError& error) {
        throw Exception("cannot open the folder " + folder.Shown + " on the server: " + error.Message());
    }
    return std::make_unique<TImapFolderOutput>(*this, mailbox, folder.Shown, status);
}

std::unique_ptr<TImapSession> TImapUploadSink::TakeSession() {
    std::unique_lock<std::mutex> guard(poolLock_);
    poolFreed_.wait(guard, [this] { return !idle_.empty() || sessionsOpen_ < std::max(1u, options_.Connections); });
    if (!idle_.empty()) {
        std::unique_ptr<TImapSession> session = std::move(idle_.back());
        idle_.pop_back();
        return session;
    }
    ++sessionsOpen_;
    guard.unlock();
    try {
        return std::make_unique<TImapSession>(options_.Connect);
    } catch (...) {
        guard.lock();
        --sessionsOpen_;
        poolFreed_.notify_one();
        throw;
    }
}

void TImapUploadSink::GiveBack(std::unique_ptr<TImapSession> session) {
    const std::lock_guard<std::mutex> guard(poolLock_);
    if (session && session->Usable())
        idle_.push_back(std::move(session));
    else
        --sessionsOpen_;
    poolFreed_.notify_one();
}

void TImapUploadSink::Refuse(const std::string& line) {
    const std::lock_guard<std::mutex> guard(refusedLock_);
    if (options_.Refused) options_.Refused(line);
}

void TImapUploadSink::Finish() {
    const std::lock_guard<std::mutex> guard(poolLock_);
    for (auto& session : idle_) session->Logout();
    idle_.clear();
    if (control_) control_->Logout();
}

std::vector<std::string> TImapUploadSink::Notes() const { return notes_; }

}  // namespace brindle
