#include "mailbox/FolderExport.h"

#include "mailbox/CodePage.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/Rescue.h"
#include "mime/HeaderFields.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"
#include "platform/Utf8.h"
#include "store/MessageFlags.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

namespace brindle {
namespace {

// Days from the date-time epoch (1899-12-30) to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;
// Sibling folders that want one name are numbered up to this far.
constexpr size_t kMaxFolderNumber = 10000;

constexpr uint32_t kMozillaRead = 0x0001;
constexpr uint32_t kMozillaReplied = 0x0002;
constexpr uint32_t kMozillaFlagged = 0x0004;
constexpr uint32_t kMozillaForwarded = 0x1000;

constexpr std::string_view kMboxFolderSuffix = ".sbd";
constexpr const char* kMaildirParts[] = {"cur", "new", "tmp"};
// Marks a Maildir++ sub-folder.
constexpr std::string_view kMaildirFolderMark = "maildirfolder";
constexpr std::string_view kUnnamedFolder = "Folder";
// Folders whose messages are written side by side (mbox and Maildir), at most.
constexpr unsigned kMaxExportThreads = 4;
// Folders whose output is open while they wait for their messages, at most (each holds a file
// descriptor).
constexpr size_t kMaxWaitingFolders = 64;
// mbox entries are gathered up to this size and handed to the file as one piece, which it
// writes without copying it again.
constexpr size_t kMboxPiece = size_t{128} << 10;
// Stores up to this size are read into a buffer that each thread keeps from store to store;
// larger ones are mapped.
constexpr uint64_t kStoreReadLimit = uint64_t{16} << 20;

bool IsMboxFromLine(std::string_view line) {
    const size_t quotes = line.find_first_not_of('>');
    return quotes != std::string_view::npos && line.substr(quotes).starts_with("From ");
}

bool IsUsableAddress(std::string_view address) {
    if (address.empty()) return false;
    for (char c : address)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return true;
}

std::string AsctimeUtc(int64_t seconds) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    if (!gmtime_r(&t, &parts)) parts = {};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDays[parts.tm_wday % 7],
                  kMonths[parts.tm_mon % 12], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  parts.tm_year + 1900);
    return text;
}

// The reader of a store with its summaries; none for a store without messages. A store of up
// to kStoreReadLimit is read into buffer, which the reader borrows.
std::unique_ptr<TOEReader> OpenForExport(const std::string& path, const TWarningSink& warnings, TReadBuffer& buffer) {
    std::unique_ptr<TOEReader> reader =
        CreateStoreReaderFrom(path, TByteSource::OpenFile(path, buffer, kStoreReadLimit), warnings);
    reader->SetKeepPagesForTexts(true);
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

    void Problem(std::string text) {
        ++Errors;
        Events.push_back({std::move(text), {}});
    }
    void RecoveredByScan(std::string text) {
        ++Recovered;
        Events.push_back({std::move(text), {}, true});
    }
};

// What a thread keeps from folder to folder.
struct TThreadBuffers {
    std::string Piece;  // mbox entries not yet handed to the file; empty between folders
    TReadBuffer Store;  // the bytes of the store being read
};

// The messages of one folder, to be written into its output made before.
struct TFolderMessages {
    std::optional<std::string> StorePath;
    std::string Shown;
    std::shared_ptr<TTargetFolder> Folder;  // eml: the folder; Maildir: its cur/
    std::unique_ptr<TNewFile> Mbox;
    size_t FolderNumber = 0;
    TNodeReport* Report = nullptr;
};

// Walks a tree in its order and makes each folder's output, keeping the output folders of the
// nodes on the way down from the top. The messages of a .eml folder are written at once (their
// names share the folder with the sub-folders); those of mbox and Maildir folders, which no
// other name meets, are written afterwards by several threads, one folder each at a time.
// Problems and warnings are told in tree order at the end whatever thread met them.
class TTreeExport {
public:
    TTreeExport(const std::string& outDir, const TExportOptions& options)
        : options_(options), root_(std::make_unique<TTargetFolder>(outDir)) {}

    TExportTotals Run(const TStoreFolder& folder) {
        codePage_ = options_.CodePage.empty() ? folder.CodePage : options_.CodePage;
        progress_.FolderCount = folder.Nodes.size();
        for (const TFolderNode& node : folder.Nodes)
            if (node.File)
                progress_.ExpectedMessages += options_.Indexes ? options_.Indexes->size() : node.Count.value_or(0);
        reports_.resize(folder.Nodes.size() + 1);
        if (options_.Format != TExportFormat::Maildir || MakeMaildirParts(*root_, reports_.back()))
            for (size_t k = 0; k < folder.Nodes.size() && !cancelled_; ++k) ExportNode(folder, k);
        WriteDeferred();
        return Tell();
    }

private:
    // What a written folder leaves for its children.
    struct TLevel {
        std::string Shown;                   // names from the top, for messages
        std::shared_ptr<TTargetFolder> Own;  // eml: the folder; mbox: F.sbd once created
        TTargetFolder* Holder = nullptr;     // mbox: where F and F.sbd lie
        std::string Name;                    // the name written (mbox: F)
        std::string MaildirPath;             // maildir: "A.B" for ".A.B"
        std::shared_ptr<TTargetFolder> Cur;  // maildir: its cur/
        bool Written = false;
    };

    static bool MakeMaildirParts(TTargetFolder& folder, TNodeReport& report) {
        try {
            for (const char* part : kMaildirParts) {
                folder.CreateSubFolder(part, true);
            }
            return true;
        } catch (const Exception& error) {
            report.Problem(error.Message());
            return false;
        }
    }

    // The folder that a child of level goes into; null when it could not be made.
    TTargetFolder* ChildHolder(TLevel* parent) {
        if (!parent) return root_.get();
        if (!parent->Written) return nullptr;
        switch (options_.Format) {
            case TExportFormat::Eml: return parent->Own.get();
            case TExportFormat::Maildir: return root_.get();
            case TExportFormat::Mbox:
                if (!parent->Own)
                    parent->Own = parent->Holder->CreateSubFolder(parent->Name + std::string(kMboxFolderSuffix));
                return parent->Own.get();
        }
        return nullptr;
    }

    std::string BaseName(const TFolderNode& node) const {
        std::string name = SafeSaveName(node.Name);
        if (options_.Format == TExportFormat::Maildir)
            for (char& c : name)
                if (c == '.') c = '_';
        return name.empty() ? std::string(kUnnamedFolder) : name;
    }

    bool IsFree(TTargetFolder& holder, const std::string& name, const std::string& prefix) const {
        switch (options_.Format) {
            case TExportFormat::Eml: return !holder.Exists(name);
            case TExportFormat::Mbox:
                return !holder.Exists(name) && !holder.Exists(name + std::string(kMboxFolderSuffix));
            case TExportFormat::Maildir: return !holder.Exists("." + prefix + name);
        }
        return false;
    }

    std::string FreeName(TTargetFolder& holder, const std::string& base, const std::string& prefix) const {
        for (size_t number = 1; number <= kMaxFolderNumber; ++number) {
            std::string candidate = NumberedFileName(base, number);
            if (IsFree(holder, candidate, prefix)) return candidate;
        }
        throw EFCreateError(holder.PathOf(base));
    }

    void ExportNode(const TStoreFolder& folder, size_t k) {
        const TFolderNode& node = folder.Nodes[k];
        TNodeReport& report = reports_[k];
        levels_.resize(node.Depth);
        TLevel* parent = node.Depth == 0 ? nullptr : &levels_.back();
        TLevel level;
        level.Shown = parent ? parent->Shown + "/" + node.Name : node.Name;
        if (!GoOn(&level.Shown, k)) return;
        TFolderMessages messages;
        try {
            TTargetFolder* holder = ChildHolder(parent);
            if (!holder) throw Exception("its parent folder was not written");
            const std::string prefix = parent ? parent->MaildirPath + "." : std::string();
            level.Name = FreeName(*holder, BaseName(node), options_.Format == TExportFormat::Maildir ? prefix : "");
            level.Holder = holder;
            OpenOutput(*holder, level, prefix, messages.Mbox);
        } catch (const Exception& error) {
            report.Problem(level.Shown + ": the folder cannot be written: " + error.Message());
            levels_.push_back(std::move(level));
            return;
        }
        level.Written = true;
        ++report.Folders;
        if (node.File) messages.StorePath = JoinPath(folder.Path, *node.File);
        messages.Shown = level.Shown;
        messages.Folder = options_.Format == TExportFormat::Maildir ? level.Cur : level.Own;
        messages.FolderNumber = k;
        messages.Report = &report;
        if (options_.Format == TExportFormat::Eml)
            WriteFolderMessages(messages, emlBuffers_);
        else
            deferred_.push_back(std::move(messages));
        if (deferred_.size() >= kMaxWaitingFolders) WriteDeferred();
        levels_.push_back(std::move(level));
    }

    void OpenOutput(TTargetFolder& holder, TLevel& level, const std::string& prefix, std::unique_ptr<TNewFile>& mbox) {
        switch (options_.Format) {
            case TExportFormat::Eml: level.Own = holder.CreateSubFolder(level.Name); break;
            case TExportFormat::Mbox: mbox = holder.Create(level.Name, TIfExists::Fail); break;
            case TExportFormat::Maildir: {
                level.MaildirPath = prefix + level.Name;
                level.Own = holder.CreateSubFolder("." + level.MaildirPath);
                std::unique_ptr<TNewFile> mark = level.Own->Create(kMaildirFolderMark, TIfExists::Fail);
                mark->Finish();
                for (const char* part : kMaildirParts) {
                    std::unique_ptr<TTargetFolder> made = level.Own->CreateSubFolder(part);
                    if (std::string_view(part) == "cur") level.Cur = std::move(made);
                }
                break;
            }
        }
    }

    // Each thread takes the next folder not yet taken.
    void WriteDeferred() {
        const unsigned threads = static_cast<unsigned>(std::min<size_t>(
            {std::max(1u, std::thread::hardware_concurrency()), size_t{kMaxExportThreads}, deferred_.size()}));
        std::atomic<size_t> next{0};
        auto work = [&] {
            TThreadBuffers buffers;
            for (size_t k = next++; k < deferred_.size(); k = next++) WriteFolderMessages(deferred_[k], buffers);
        };
        std::vector<std::thread> helpers;
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
        work();
        for (std::thread& helper : helpers) helper.join();
        deferred_.clear();
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

    // Runs on any thread: touches only the folder's own output and report, and the thread's own
    // buffers (their mbox piece empty between calls).
    void WriteFolderMessages(TFolderMessages& folder, TThreadBuffers& buffers) const {
        TNodeReport& report = *folder.Report;
        std::string& piece = buffers.Piece;
        if (folder.StorePath) ExportMessages(folder, report, buffers);
        if (folder.Mbox) {
            try {
                folder.Mbox->Append(piece);
                folder.Mbox->Finish();
            } catch (const Exception& error) {
                report.Problem(folder.Shown + ": " + error.Message());
            }
        }
        piece.clear();
        folder.Mbox.reset();
        folder.Folder.reset();
    }

    void ExportMessages(TFolderMessages& folder, TNodeReport& report, TThreadBuffers& buffers) const {
        std::string& piece = buffers.Piece;
        std::unique_ptr<TOEReader> reader;
        const TWarningSink warnings = [&report](const TWarning& warning) { report.Events.push_back({{}, warning}); };
        try {
            reader = OpenForExport(*folder.StorePath, warnings, buffers.Store);
        } catch (const Exception& error) {
            ExportScanned(folder, report, piece, error.Message());
            return;
        }
        if (!reader) return;
        // Only .eml file names are made from summaries.
        const std::string codePage =
            codePage_.empty() && options_.Format == TExportFormat::Eml ? DecideStoreCodePage(*reader) : codePage_;
        for (int32_t index : IndexesOf(*reader)) {
            if (cancelled_) return;
            try {
                if (index < 0 || index >= reader->GetMessageCount()) throw Exception("Message index out of range.");
                const TMessageInfo info = reader->GetMessageInfo(index);
                WriteMessage(reader->GetMessageText(index), info, codePage, index, folder, piece);
                ++report.Messages;
            } catch (const Exception& error) {
                report.Problem(folder.Shown + ": message " + std::to_string(index) + ": " + error.Message());
            }
            if (!Count()) return;
        }
    }

    // A store whose index cannot be read: every message that a scan of the whole file finds,
    // but the deleted ones, in the order of the file. Chosen indexes do not apply, since they
    // count summaries that could not be read.
    void ExportScanned(TFolderMessages& folder, TNodeReport& report, std::string& piece,
                       const std::string& openError) const {
        std::unique_ptr<TStoreRescue> rescue;
        try {
            rescue = std::make_unique<TStoreRescue>(*folder.StorePath);
            if (!codePage_.empty()) rescue->SetCodePage(codePage_);
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
                WriteMessage(rescue->Text(position), InfoOfRescued(rescue->Messages()[position], position), codePage_,
                             static_cast<int32_t>(position), folder, piece);
                ++report.Messages;
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

    // piece: the mbox entries not yet handed to the file.
    // codePage: the one of the summaries (a label).
    void WriteMessage(const std::string& text, const TMessageInfo& info, const std::string& codePage, int32_t index,
                      TFolderMessages& folder, std::string& piece) const {
        switch (options_.Format) {
            case TExportFormat::Eml: {
                std::unique_ptr<TNewFile> file = folder.Folder->Create(
                    SavedMessageFileName(index, SummaryToUtf8(info.Subject, codePage)), TIfExists::NextFreeName);
                std::string scratch;
                file->Append(NormalizedLineEnds(text, scratch));
                file->Finish(UnixTimeOf(info.Received));
                break;
            }
            case TExportFormat::Mbox: {
                if (piece.capacity() < kMboxPiece) piece.reserve(2 * kMboxPiece);
                AppendMboxEntry(piece, text, info);
                if (piece.size() >= kMboxPiece) {
                    folder.Mbox->Append(piece);
                    piece.clear();
                }
                break;
            }
            case TExportFormat::Maildir: {
                std::unique_ptr<TNewFile> file =
                    folder.Folder->Create(MaildirFileName(info, folder.FolderNumber, index), TIfExists::NextFreeName);
                file->Append(WithLfLineEnds(text));
                file->Finish(UnixTimeOf(info.Received));
                break;
            }
        }
    }

    const TExportOptions& options_;
    std::unique_ptr<TTargetFolder> root_;
    std::vector<TLevel> levels_;
    // One per node, and one for the output folder itself.
    std::vector<TNodeReport> reports_;
    std::vector<TFolderMessages> deferred_;
    TThreadBuffers emlBuffers_;  // .eml folders are written on the tree's own thread
    std::string codePage_;       // empty: each store's own
    mutable std::mutex progressLock_;
    mutable TExportProgress progress_;
    mutable std::atomic<size_t> messagesDone_{0};
    mutable std::atomic<bool> cancelled_{false};
};

}  // namespace

std::optional<TExportFormat> ExportFormatNamed(std::string_view name) {
    if (name == "eml") return TExportFormat::Eml;
    if (name == "mbox") return TExportFormat::Mbox;
    if (name == "maildir") return TExportFormat::Maildir;
    return std::nullopt;
}

std::optional<int64_t> UnixTimeOf(TDateTime value) {
    if (value == 0 || !std::isfinite(value)) return std::nullopt;
    return static_cast<int64_t>(std::llround((value - kUnixEpochDays) * kSecondsPerDay));
}

std::string MboxFromLine(const TMessageInfo& info) {
    const std::string address = IsUsableAddress(info.SenderAddress) ? info.SenderAddress : "MAILER-DAEMON";
    return "From " + address + " " + AsctimeUtc(UnixTimeOf(info.Received).value_or(0)) + "\n";
}

std::string MozillaStatus(uint32_t flags) {
    uint32_t status = 0;
    if (flags & kFlagRead) status |= kMozillaRead;
    if (flags & kFlagReplied) status |= kMozillaReplied;
    if (flags & kFlagFlagged) status |= kMozillaFlagged;
    if (flags & kFlagForwarded) status |= kMozillaForwarded;
    char text[8];
    std::snprintf(text, sizeof text, "%04X", status);
    return text;
}

void AppendMboxEntry(std::string& out, std::string_view text, const TMessageInfo& info) {
    out += MboxFromLine(info);
    out += "X-Mozilla-Status: " + MozillaStatus(info.Flags) + "\n";
    out += "X-Mozilla-Status2: 00000000\n";
    out += (info.Flags & kFlagRead) ? "Status: RO\n" : "Status: O\n";
    ForEachLineOfBytes(UpToNul(text), [&](std::string_view line) {
        if (IsMboxFromLine(line)) out += '>';
        out.append(line);
        out += '\n';
    });
    out += '\n';
}

std::string MaildirFileName(const TMessageInfo& info, size_t folder, int32_t index) {
    std::string flags;
    if (info.Flags & kFlagFlagged) flags += 'F';
    if (info.Flags & kFlagForwarded) flags += 'P';
    if (info.Flags & kFlagReplied) flags += 'R';
    if (info.Flags & kFlagRead) flags += 'S';
    return std::to_string(UnixTimeOf(info.Received).value_or(0)) + ".M" + std::to_string(folder) + "P" +
           std::to_string(index) + ".brindle:2," + flags;
}

std::string WithLfLineEnds(std::string_view text) {
    text = UpToNul(text);
    std::string out;
    out.reserve(text.size());
    ForEachLineOfBytes(text, [&](std::string_view line) {
        out.append(line);
        out += '\n';
    });
    return out;
}

TExportTotals ExportStoreFolder(const TStoreFolder& folder, const std::string& outDir, const TExportOptions& options) {
    return TTreeExport(outDir, options).Run(folder);
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
