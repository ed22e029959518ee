#include "mailbox/FolderExport.h"

#include "mailbox/CodePage.h"
#include "mailbox/Rescue.h"
#include "mime/HeaderFields.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/ReadingPolicy.h"
#include "platform/Utf8.h"
#include "store/MessageFlags.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace brindle {
namespace {

// Folders whose messages are written side by side, at most.
constexpr unsigned kMaxExportThreads = 4;
// Folders whose output is open while they wait for their messages, at most (each may hold a
// file descriptor).
constexpr size_t kMaxWaitingFolders = 64;
// With copies left out, a folder whose output cannot take messages out again holds at most
// about this many bytes of the messages it read until they are decided; then it waits for its
// turn and decides each message as it comes. A folder that waits keeps the other threads from
// reading ahead, so this is enough for the folders of most mailboxes (a folder of 2,500
// messages of 2 KB is 7 MB).
constexpr size_t kMaxHeldBytes = size_t{16} << 20;
// Folders side by side that were read but not written yet hold at most about this much in all
// before no thread starts on another folder.
constexpr size_t kMaxParkedBytes = size_t{32} << 20;
// What a held message costs besides its text (its summary, the bookkeeping), roughly.
constexpr size_t kHeldMessageCost = 256;
// The reader of a store with its summaries; none for a store without messages. A store of up
// to ReadingPolicy().ReadWholeUpTo is read into buffer, which the reader borrows.
std::unique_ptr<TOEReader> OpenForExport(const std::string& path, const TWarningSink& warnings, TReadBuffer& buffer) {
    std::unique_ptr<TOEReader> reader =
        CreateStoreReaderFrom(path, TByteSource::OpenFile(path, buffer, ReadingPolicy().ReadWholeUpTo), warnings);
    reader->SetFollowingPass(TFollowingPass::OverSameRange);
    try {
        reader->Open(path);
    } catch (const Exception&) {
        if (reader->Loaded() && reader->GetMessageCount() == 0) return nullptr;
        throw;
    }
    reader->ReadMessageInfos();
    return reader;
}

// A message found by a scan of a store whose index cannot be read: what its header tells.
TMessageInfo InfoOfRescued(const TRescuedMessage& message, size_t position) {
    TMessageInfo info;
    info.Index = static_cast<uint32_t>(position);
    info.Flags = kFlagRead;
    info.Subject = message.Header.Subject;
    info.SenderName = message.Header.From;
    info.SenderAddress = ExtractAddress(message.Header.From, false);
    info.DateText = message.Header.Date;
    info.MessageID = message.Header.MessageID;
    return info;
}

// What exporting one folder told: problems and warnings in the order they came, and counts.
struct TNodeReport {
    struct TEvent {
        std::optional<std::string> Problem;
        TWarning Warning;
        bool Recovered = false;  // Problem holds the line that tells the folder was recovered
    };
    std::vector<TEvent> Events;
    size_t Folders = 0;
    size_t Messages = 0;
    size_t Errors = 0;
    size_t Recovered = 0;
    size_t Skipped = 0;

    void Problem(std::string text) {
        ++Errors;
        Events.push_back({std::move(text), {}});
    }
    // Messages counted as exported that a later write error took from the disk.
    void Lost(const std::string& shown, size_t count) {
        if (count == 0) return;
        count = std::min(count, Messages);
        Messages -= count;
        Errors += count;
        Events.push_back({shown + ": " + std::to_string(count) +
                              (count == 1 ? " message written before was lost with the write error"
                                          : " messages written before were lost with the write error"),
                          {}});
    }
    void RecoveredByScan(std::string text) {
        ++Recovered;
        Events.push_back({std::move(text), {}, true});
    }
};

// A folder list begins with two levels that hold no mail: its root (Id 0) and under it the
// local folders (Id 1), neither with a store file. Both are left out, so that the local
// folders come at the top and the folders of other accounts under their account's name.
constexpr uint32_t kListRootId = 0;
constexpr uint32_t kLocalFoldersId = 1;

// A folder of the exported tree: the node and its depth once the empty levels are left out.
struct TExportedNode {
    const TFolderNode* Node;
    uint32_t Depth;
};

std::vector<TExportedNode> ExportedNodes(const TStoreFolder& folder) {
    std::vector<TExportedNode> nodes;
    nodes.reserve(folder.Nodes.size());
    // Per depth on the way down: whether that level was left out.
    std::vector<bool> leftOut;
    uint32_t leftOutAbove = 0;
    for (const TFolderNode& node : folder.Nodes) {
        while (leftOut.size() > node.Depth) {
            if (leftOut.back()) --leftOutAbove;
            leftOut.pop_back();
        }
        const bool parentLeftOut = !leftOut.empty() && leftOut.back();
        bool skip = false;
        if (folder.HasList && node.Id && !node.File) {
            if (node.Depth == 0) skip = *node.Id == kListRootId;
            if (node.Depth == 1) skip = parentLeftOut && *node.Id == kLocalFoldersId;
        }
        if (leftOut.size() < node.Depth) leftOut.resize(node.Depth, false);
        leftOut.push_back(skip);
        if (skip) {
            ++leftOutAbove;
            continue;
        }
        nodes.push_back({&node, node.Depth - leftOutAbove});
    }
    return nodes;
}

// The inbox among the exported folders: the first at the top whose Special says so, else the
// only folder; none otherwise.
std::optional<size_t> InboxOf(const std::vector<TExportedNode>& nodes) {
    for (size_t k = 0; k < nodes.size(); ++k)
        if (nodes[k].Depth == 0 && nodes[k].Node->Special == kSpecialInbox) return k;
    if (nodes.size() == 1) return 0;
    return std::nullopt;
}

// What a thread keeps from folder to folder: the bytes of the store being read.
struct TThreadBuffers {
    TReadBuffer Store;
};

// The messages of one folder, to be handed to its output made before.
struct TFolderMessages {
    std::optional<std::string> StorePath;
    std::string Shown;
    std::shared_ptr<TSinkFolderOutput> Output;
    TNodeReport* Report = nullptr;
};

// Walks a tree in its order and asks the sink for each folder's output, keeping the outputs of
// the folders on the way down from the top. When the sink allows it, the messages of the
// folders are handed over afterwards by several threads, one folder each at a time; otherwise
// right after their folder was made. Problems and warnings are told in tree order at the end
// whatever thread met them.
class TTreeWalk {
public:
    TTreeWalk(TExportSink& sink, const TExportOptions& options) : sink_(sink), options_(options) {}

    TExportTotals Run(const TStoreFolder& folder) {
        folderCodePage_ = folder.CodePage;
        nodes_ = ExportedNodes(folder);
        inbox_ = InboxOf(nodes_);
        progress_.FolderCount = nodes_.size();
        for (const TExportedNode& exported : nodes_)
            if (exported.Node->File)
                progress_.ExpectedMessages +=
                    options_.Indexes ? options_.Indexes->size() : exported.Node->Count.value_or(0);
        reports_.resize(nodes_.size() + 1);
        if (options_.LeaveOutCopies) options_.LeaveOutCopies->Expect(progress_.ExpectedMessages);
        if (Begin()) {
            for (size_t k = 0; k < nodes_.size() && !cancelled_; ++k) WalkNode(folder, k);
            WriteDeferred();
            levels_.clear();
            Finish();
        }
        TExportTotals totals = Tell();
        totals.Notes = sink_.Notes();
        return totals;
    }

private:
    // What a made folder leaves for its children.
    struct TLevel {
        std::vector<std::string> Names;  // from the top
        std::string Shown;               // the same joined by "/"
        std::shared_ptr<TSinkFolderOutput> Output;  // null when it could not be made
    };

    // The sink's own problems go to the report after the last folder's.
    bool Begin() {
        try {
            sink_.Begin();
            return true;
        } catch (const Exception& error) {
            reports_.back().Problem(error.Message());
            return false;
        }
    }

    void Finish() {
        try {
            sink_.Finish();
        } catch (const Exception& error) {
            reports_.back().Problem(error.Message());
        }
    }

    void WalkNode(const TStoreFolder& folder, size_t k) {
        const TFolderNode& node = *nodes_[k].Node;
        const uint32_t depth = nodes_[k].Depth;
        TNodeReport& report = reports_[k];
        levels_.resize(depth);
        TLevel* parent = depth == 0 ? nullptr : &levels_.back();
        TLevel level;
        level.Names = parent ? parent->Names : std::vector<std::string>{};
        level.Names.push_back(node.Name);
        level.Shown = parent ? parent->Shown + "/" + node.Name : node.Name;
        if (!GoOn(&level.Shown, k)) return;
        try {
            if (parent && !parent->Output) throw Exception("its parent folder was not written");
            const TSinkFolder made{&node, k, level.Names, level.Shown, inbox_ == k};
            level.Output = sink_.BeginFolder(made, parent ? parent->Output.get() : nullptr);
            if (!level.Output) throw Exception("the sink made no output");
        } catch (const Exception& error) {
            report.Problem(level.Shown + ": the folder cannot be written: " + error.Message());
            levels_.push_back(std::move(level));
            return;
        }
        ++report.Folders;
        TFolderMessages messages;
        if (node.File) messages.StorePath = JoinPath(folder.Path, *node.File);
        messages.Shown = level.Shown;
        messages.Output = level.Output;
        messages.Report = &report;
        if (!sink_.WritesFoldersSideBySide())
            WriteFolderMessages(messages, ownBuffers_);
        else
            deferred_.push_back(std::move(messages));
        if (deferred_.size() >= kMaxWaitingFolders) WriteDeferred();
        levels_.push_back(std::move(level));
    }

    // Each thread takes the next folder not yet taken.
    void WriteDeferred() {
        const unsigned wanted = sink_.FoldersSideBySide();
        const unsigned threads = static_cast<unsigned>(std::min<size_t>(
            {wanted > 0 ? wanted : std::max(1u, std::thread::hardware_concurrency()), size_t{kMaxExportThreads},
             deferred_.size()}));
        if (options_.LeaveOutCopies) {
            TTurnedFolders turned(*this, threads);
            RunThreads(threads, [&](TThreadBuffers& buffers) { turned.Work(buffers); });
        } else {
            std::atomic<size_t> next{0};
            RunThreads(threads, [&](TThreadBuffers& buffers) {
                for (size_t k = next++; k < deferred_.size(); k = next++) WriteFolderMessages(deferred_[k], buffers);
            });
        }
        deferred_.clear();
    }

    void RunThreads(unsigned threads, const std::function<void(TThreadBuffers&)>& work) {
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back([&] {
                TThreadBuffers buffers;
                work(buffers);
            });
        work(ownBuffers_);
        for (std::thread& helper : helpers) helper.join();
    }

    TExportTotals Tell() const {
        TExportTotals totals;
        for (const TNodeReport& report : reports_) {
            for (const TNodeReport::TEvent& event : report.Events) {
                if (event.Recovered) {
                    if (options_.Recovered) options_.Recovered(*event.Problem);
                } else if (event.Problem && options_.Problem)
                    options_.Problem(*event.Problem);
                else if (!event.Problem && options_.Warnings)
                    options_.Warnings(event.Warning);
            }
            totals.Folders += report.Folders;
            totals.Messages += report.Messages;
            totals.Errors += report.Errors;
            totals.Recovered += report.Recovered;
            totals.Skipped += report.Skipped;
        }
        totals.Cancelled = cancelled_;
        return totals;
    }

    std::vector<int32_t> IndexesOf(TOEReader& reader) const {
        if (options_.Indexes) return *options_.Indexes;
        std::vector<int32_t> all(static_cast<size_t>(std::max(reader.GetMessageCount(), 0)));
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
        return all;
    }

    // Hands the messages of one folder to its output: through the filter and, with copies left
    // out, through the duplicate filter, whose answers depend on every message before in tree
    // order. A folder whose turn has come (inTurn: every folder before it is decided) decides
    // and writes each message as it is read (Streaming). Before that, an output that can take
    // messages out again gets each message at once, and the copies among them are taken out
    // when the folder's turn comes (DecideHeld, then WriteHeld); copies are few, and the texts
    // need not wait in memory. Other outputs' messages are held (up to kMaxHeldBytes) until the
    // folder's turn to decide them comes, and written after. A folder that holds too much waits
    // for its turn (waitForTurn); either way, once in turn it writes what it holds and streams
    // from then on.
    class TFolderHand {
    public:
        TFolderHand(const TTreeWalk& walk, TFolderMessages& folder, std::function<bool()> inTurn,
                    std::function<void()> waitForTurn)
            : walk_(walk),
              folder_(folder),
              report_(*folder.Report),
              copies_(walk.options_.LeaveOutCopies.get()),
              inTurn_(std::move(inTurn)),
              waitForTurn_(std::move(waitForTurn)),
              writesAhead_(copies_ && folder.Output->CanWithdraw()) {}
        TFolderHand(const TFolderHand&) = delete;
        TFolderHand& operator=(const TFolderHand&) = delete;

        // Throws what the output throws for this message; a held one's error is reported later.
        // The message's text and summary are text and info, which a held message takes along.
        void Take(const TSinkMessage& message, std::string& text, TMessageInfo& info) {
            if (walk_.options_.Filter && !walk_.options_.Filter(message)) {
                ++report_.Skipped;
                return;
            }
            if (!copies_) return Write(message);
            std::optional<TMessageDigest> key = copies_->KeyOf(message.Text);
            if (!streaming_) {
                const bool inTurn = inTurn_();
                if (!inTurn && writesAhead_) return WriteAhead(message, key);
                if (!inTurn && heldBytes_ < kMaxHeldBytes) return Hold(message, text, info, key);
                if (!inTurn) waitForTurn_();
                DecideHeld();
                WriteHeld();
                streaming_ = true;
            }
            if (!copies_->Admit(key, message.Folder, message.Index)) {
                ++report_.Skipped;
                return;
            }
            Write(message);
        }

        bool Streaming() const { return streaming_; }
        size_t HeldBytes() const { return heldBytes_; }

        // In the folder's turn, in the order the messages were read.
        void DecideHeld() {
            if (writesAhead_) return DecideWrittenAhead();
            const std::vector<TDuplicateFilter::TRunMessage> run = Decided(held_);
            for (size_t i = 0; i < held_.size(); ++i) {
                held_[i].Admitted = run[i].Admitted;
                if (!run[i].Admitted) ++report_.Skipped;
            }
        }

        // A cancelled export writes none of the messages held; the copies written ahead are
        // taken out all the same.
        void WriteHeld() {
            if (writesAhead_) return WithdrawCopies();
            std::vector<THeld> held;
            held.swap(held_);
            heldBytes_ = 0;
            for (THeld& message : held) {
                if (walk_.cancelled_) return;
                if (!message.Admitted) continue;
                try {
                    Write(TSinkMessage{message.Text, &message.Info, message.Index, message.Recovered, codePage_,
                                       folder_.Shown});
                } catch (const Exception& error) {
                    report_.Problem(folder_.Shown + (message.Recovered ? ": found message " : ": message ") +
                                    std::to_string(message.Index) + ": " + error.Message());
                }
                message = {};
            }
        }

    private:
        // A message given to the output before its folder's turn.
        struct TWrittenAhead {
            std::optional<TMessageDigest> Key;
            int32_t Index = 0;
            size_t Added = 0;  // among the output's messages
        };

        void WriteAhead(const TSinkMessage& message, const std::optional<TMessageDigest>& key) {
            Write(message);
            ahead_.push_back({key, message.Index, added_ - 1});
        }

        // The answers for messages (held or written ahead, each with its Key and Index), in order.
        template <class TMessages>
        std::vector<TDuplicateFilter::TRunMessage> Decided(const TMessages& messages) {
            std::vector<TDuplicateFilter::TRunMessage> run(messages.size());
            for (size_t i = 0; i < messages.size(); ++i) run[i] = {&messages[i].Key, messages[i].Index};
            copies_->AdmitRun(run, folder_.Shown);
            return run;
        }

        void DecideWrittenAhead() {
            const std::vector<TDuplicateFilter::TRunMessage> run = Decided(ahead_);
            for (size_t i = 0; i < ahead_.size(); ++i)
                if (!run[i].Admitted) copiesAhead_.push_back(ahead_[i].Added);
            ahead_ = {};
        }

        // The copies written ahead leave the output, and the counts.
        void WithdrawCopies() {
            std::vector<size_t> copies;
            copies.swap(copiesAhead_);
            if (copies.empty()) return;
            size_t out = 0;
            try {
                out = folder_.Output->Withdraw(copies);
                if (out < copies.size())
                    report_.Problem(folder_.Shown + ": " + std::to_string(copies.size() - out) +
                                    (copies.size() - out == 1 ? " copy written before its turn stays in it"
                                                              : " copies written before their turn stay in it"));
            } catch (const Exception& error) {
                out = copies.size();
                report_.Problem(folder_.Shown + ": " + error.Message());
            }
            out = std::min(out, report_.Messages);
            report_.Messages -= out;
            report_.Skipped += out;
            report_.Lost(folder_.Shown, folder_.Output->TakeLost());
        }

        struct THeld {
            std::string Text;
            TMessageInfo Info;
            int32_t Index = 0;
            std::optional<TFoundKind> Recovered;
            std::optional<TMessageDigest> Key;
            bool Admitted = false;
        };

        // Takes text and info, moved once each: a summary is some 300 bytes.
        void Hold(const TSinkMessage& message, std::string& text, TMessageInfo& info,
                  const std::optional<TMessageDigest>& key) {
            if (held_.empty()) codePage_ = message.CodePage;
            heldBytes_ += text.size() + kHeldMessageCost;
            THeld& held = held_.emplace_back();
            held.Text = std::move(text);
            held.Info = std::move(info);
            held.Index = message.Index;
            held.Recovered = message.Recovered;
            held.Key = key;
        }

        // Throws what the output throws.
        void Write(const TSinkMessage& message) {
            try {
                folder_.Output->AddMessage(message);
            } catch (const Exception&) {
                report_.Lost(folder_.Shown, folder_.Output->TakeLost());
                throw;
            }
            ++report_.Messages;
            ++added_;
        }

        const TTreeWalk& walk_;
        TFolderMessages& folder_;
        TNodeReport& report_;
        TDuplicateFilter* copies_;
        std::function<bool()> inTurn_;
        std::function<void()> waitForTurn_;
        const bool writesAhead_;
        bool streaming_ = false;
        size_t added_ = 0;  // messages the output took
        std::vector<TWrittenAhead> ahead_;  // until decided
        std::vector<size_t> copiesAhead_;   // decided, until taken out
        std::vector<THeld> held_;
        size_t heldBytes_ = 0;
        std::string codePage_;
    };

    // The deferred folders side by side with copies left out. Each thread reads the next folder
    // not taken yet, holding its messages; the folders read are decided in tree order by the
    // thread that finds the next in line ready. A folder held is written by the thread that read
    // it, lower folders first, so that its messages are freed where they were made (memory
    // handed between threads costs a lock each time); only with nothing left to read does a
    // thread write another's. A thread waits only when there is nothing to read or write, or
    // when the folders it read but did not write hold its share of kMaxParkedBytes; a folder that
    // holds too much streams in its turn.
    class TTurnedFolders {
    public:
        TTurnedFolders(TTreeWalk& walk, unsigned threads)
            : walk_(walk), folders_(walk.deferred_.size()), parkedShare_(kMaxParkedBytes / std::max(threads, 1u)) {}

        void Work(TThreadBuffers& buffers) {
            std::unique_lock<std::mutex> guard(lock_);
            size_t parked = 0;  // held by the folders this thread read and did not write
            while (done_ < folders_.size()) {
                if (const std::optional<size_t> k = DecidedToWrite(buffers)) {
                    TFolder& folder = folders_[*k];
                    folder.State = TState::Writing;
                    guard.unlock();
                    folder.Hand->WriteHeld();
                    walk_.EndFolder(walk_.deferred_[*k]);
                    guard.lock();
                    if (folder.Reader == &buffers) parked -= folder.Held;
                    Done(*k);
                } else if (next_ < folders_.size() && parked < parkedShare_) {
                    parked += Read(next_++, buffers, guard);
                } else {
                    changed_.wait(guard);
                }
            }
        }

    private:
        enum class TState : uint8_t { Unread, Reading, Ready, Decided, Writing, Done };
        struct TFolder {
            TState State = TState::Unread;
            std::unique_ptr<TFolderHand> Hand;
            size_t Held = 0;
            const TThreadBuffers* Reader = nullptr;
        };

        // The bytes the folder holds once read.
        size_t Read(size_t k, TThreadBuffers& buffers, std::unique_lock<std::mutex>& guard) {
            TFolder& folder = folders_[k];
            folder.State = TState::Reading;
            folder.Reader = &buffers;
            TFolderMessages& messages = walk_.deferred_[k];
            folder.Hand = std::make_unique<TFolderHand>(
                walk_, messages, [this, k] { return turn_.load(std::memory_order_acquire) == k; },
                [this, k] {
                    std::unique_lock<std::mutex> wait(lock_);
                    changed_.wait(wait, [&] { return turn_ == k; });
                });
            guard.unlock();
            if (messages.StorePath) walk_.ExportMessages(messages, *messages.Report, buffers, *folder.Hand);
            if (folder.Hand->Streaming()) walk_.EndFolder(messages);
            guard.lock();
            if (folder.Hand->Streaming()) {
                // Its turn came while it was read: everything is decided and written.
                ++turn_;
                Done(k);
            } else {
                folder.Held = folder.Hand->HeldBytes();
                folder.State = TState::Ready;
            }
            const size_t held = folder.Held;
            DecideInTurn();
            changed_.notify_all();
            return held;
        }

        // The folders read, from the one whose turn it is on.
        void DecideInTurn() {
            for (; turn_ < folders_.size() && folders_[turn_].State == TState::Ready; ++turn_) {
                folders_[turn_].Hand->DecideHeld();
                folders_[turn_].State = TState::Decided;
            }
        }

        void Done(size_t k) {
            folders_[k] = {TState::Done, nullptr, 0, nullptr};
            ++done_;
            changed_.notify_all();
        }

        // The lowest decided folder that this thread read; with nothing left to read, the lowest
        // of any thread.
        std::optional<size_t> DecidedToWrite(const TThreadBuffers& buffers) const {
            std::optional<size_t> any;
            for (size_t k = 0; k < folders_.size(); ++k) {
                if (folders_[k].State != TState::Decided) continue;
                if (folders_[k].Reader == &buffers) return k;
                if (!any) any = k;
            }
            return next_ == folders_.size() ? any : std::nullopt;
        }

        TTreeWalk& walk_;
        std::mutex lock_;
        std::condition_variable changed_;
        std::vector<TFolder> folders_;
        size_t next_ = 0;   // the next folder to read
        // The next folder to decide; changed under lock_, read without it by the folder's reader.
        std::atomic<size_t> turn_{0};
        size_t done_ = 0;
        const size_t parkedShare_;  // of kMaxParkedBytes, for each thread
    };

    // Runs on any thread: touches only the folder's own output and report, and the thread's own
    // buffers.
    // The folders come one after the other here: each is in its turn as it is read, so none
    // holds a message.
    void WriteFolderMessages(TFolderMessages& folder, TThreadBuffers& buffers) const {
        if (folder.StorePath) {
            TFolderHand hand(*this, folder, [] { return true; }, [] {});
            ExportMessages(folder, *folder.Report, buffers, hand);
        }
        EndFolder(folder);
    }

    void EndFolder(TFolderMessages& folder) const {
        TNodeReport& report = *folder.Report;
        try {
            folder.Output->End();
        } catch (const Exception& error) {
            report.Problem(folder.Shown + ": " + error.Message());
        }
        report.Lost(folder.Shown, folder.Output->TakeLost());
        folder.Output.reset();
    }

    void ExportMessages(TFolderMessages& folder, TNodeReport& report, TThreadBuffers& buffers,
                        TFolderHand& hand) const {
        std::unique_ptr<TOEReader> reader;
        const TWarningSink warnings = [&report](const TWarning& warning) { report.Events.push_back({{}, warning}); };
        try {
            reader = OpenForExport(*folder.StorePath, warnings, buffers.Store);
        } catch (const Exception& error) {
            ExportScanned(folder, report, error.Message(), hand);
            return;
        }
        if (!reader) return;
        const std::string codePage =
            options_.CodePage.For(folderCodePage_, [&reader] { return DecideStoreCodePage(*reader); });
        for (int32_t index : IndexesOf(*reader)) {
            if (cancelled_) return;
            try {
                if (index < 0 || index >= reader->GetMessageCount()) throw Exception("Message index out of range.");
                TMessageInfo info = reader->GetMessageInfo(index);
                std::string text = reader->GetMessageText(index);
                hand.Take(TSinkMessage{text, &info, index, std::nullopt, codePage, folder.Shown}, text, info);
            } catch (const Exception& error) {
                report.Problem(folder.Shown + ": message " + std::to_string(index) + ": " + error.Message());
            }
            if (!Count()) return;
        }
    }

    // A store whose index cannot be read: every message that a scan of the whole file finds,
    // but the deleted ones, in the order of the file. Chosen indexes do not apply, since they
    // count summaries that could not be read.
    void ExportScanned(TFolderMessages& folder, TNodeReport& report, const std::string& openError,
                       TFolderHand& hand) const {
        const std::string codePage = options_.CodePage.IsAutomatic() ? folderCodePage_ : options_.CodePage.Label();
        std::unique_ptr<TStoreRescue> rescue;
        try {
            rescue = std::make_unique<TStoreRescue>(*folder.StorePath);
            if (!codePage.empty()) rescue->SetCodePage(codePage);
            if (!rescue->Run([this](uint64_t, uint64_t) { return !cancelled_; })) return;
        } catch (const Exception&) {
            rescue.reset();
        }
        std::vector<size_t> wanted;
        if (rescue && !options_.Indexes)
            for (size_t i = 0; i < rescue->Messages().size(); ++i)
                if (rescue->Messages()[i].Found.Kind != TFoundKind::Deleted) wanted.push_back(i);
        if (wanted.empty()) {
            report.Problem(folder.Shown + ": " + openError);
            return;
        }
        report.RecoveredByScan(folder.Shown + ": recovered by scan, " + std::to_string(wanted.size()) +
                               (wanted.size() == 1 ? " message (" : " messages (") + openError + ")");
        for (size_t position : wanted) {
            try {
                const TRescuedMessage& found = rescue->Messages()[position];
                TMessageInfo info = InfoOfRescued(found, position);
                std::string text = rescue->Text(position);
                // The summary of a found message was decoded from its header: UTF-8 already.
                hand.Take(TSinkMessage{text, &info, static_cast<int32_t>(position), found.Found.Kind, codePage,
                                       folder.Shown},
                          text, info);
            } catch (const Exception& error) {
                report.Problem(folder.Shown + ": found message " + std::to_string(position) + ": " + error.Message());
            }
            if (!Count()) return;
        }
    }

    // Before each folder (folderName given) and after each message, from any thread: false once
    // the export is to stop.
    bool GoOn(const std::string* folderName = nullptr, size_t folder = 0) const {
        if (!options_.Progress) return !cancelled_;
        const std::lock_guard<std::mutex> guard(progressLock_);
        if (folderName) {
            progress_.Folder = folder;
            progress_.FolderName = *folderName;
        }
        progress_.Messages = messagesDone_;
        if (!cancelled_ && !options_.Progress(progress_)) cancelled_ = true;
        return !cancelled_;
    }

    // One more message written or reported.
    bool Count() const {
        ++messagesDone_;
        return GoOn();
    }

    TExportSink& sink_;
    const TExportOptions& options_;
    std::vector<TExportedNode> nodes_;
    std::optional<size_t> inbox_;
    std::vector<TLevel> levels_;
    // One per exported folder, and one for the sink's own problems.
    std::vector<TNodeReport> reports_;
    std::vector<TFolderMessages> deferred_;
    TThreadBuffers ownBuffers_;  // of the walk's own thread
    std::string folderCodePage_;  // the store folder's decision; empty: none
    mutable std::mutex progressLock_;
    mutable TExportProgress progress_;
    mutable std::atomic<size_t> messagesDone_{0};
    mutable std::atomic<bool> cancelled_{false};
};

}  // namespace

TExportTotals ExportTree(const TStoreFolder& folder, TExportSink& sink, const TExportOptions& options) {
    return TTreeWalk(sink, options).Run(folder);
}

TExportTotals ExportStoreFolder(const TStoreFolder& folder, const std::string& outDir, const TExportOptions& options) {
    const std::unique_ptr<TExportSink> sink = MakeFileSink(options.Format, outDir);
    return ExportTree(folder, *sink, options);
}

TStoreFolder SingleStoreFolder(const std::string& path, std::string name) {
    const size_t slash = path.rfind('/');
    TStoreFolder folder;
    folder.Path = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    TFolderNode node;
    node.Name = std::move(name);
    node.File = slash == std::string::npos ? path : path.substr(slash + 1);
    folder.Nodes.push_back(std::move(node));
    return folder;
}

TExportTotals ExportStoreFile(const std::string& path, const std::string& outDir, const TExportOptions& options) {
    const std::string file = path.substr(path.rfind('/') + 1);
    const size_t dot = file.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
    return ExportStoreFolder(SingleStoreFolder(path, Utf8OrCp1252(stem)), outDir, options);
}

}  // namespace brindle
