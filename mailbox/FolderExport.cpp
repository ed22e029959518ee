#include "mailbox/FolderExport.h"

#include "mailbox/CodePage.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/Rescue.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"
#include "platform/Utf8.h"
#include "store/MessageFlags.h"
#include "store/StoreOpener.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

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

// The reader of a store with its summaries; none for a store without messages.
std::unique_ptr<TOEReader> OpenForExport(const std::string& path, const TWarningSink& warnings) {
    std::unique_ptr<TOEReader> reader = CreateStoreReader(path, warnings);
    try {
        reader->Open(path);
    } catch (const Exception&) {
        if (reader->Loaded() && reader->GetMessageCount() == 0) return nullptr;
        throw;
    }
    reader->ReadMessageInfos();
    return reader;
}

// The address of a From field: between its angle brackets, else the field itself trimmed.
std::string AddressOfFromField(std::string_view from) {
    const size_t open = from.rfind('<');
    const size_t close = open == std::string_view::npos ? open : from.find('>', open);
    if (close != std::string_view::npos) return std::string(from.substr(open + 1, close - open - 1));
    const size_t first = from.find_first_not_of(" \t");
    const size_t last = from.find_last_not_of(" \t");
    return first == std::string_view::npos ? std::string() : std::string(from.substr(first, last - first + 1));
}

// A summary of a message that a scan found, from its own header lines; marked read, since the
// store's flags are out of reach.
TMessageInfo InfoOfRescued(const TRescuedMessage& message, size_t position) {
    TMessageInfo info;
    info.Index = static_cast<uint32_t>(position);
    info.Flags = kFlagRead;
    info.Subject = message.Header.Subject;
    info.SenderName = message.Header.From;
    info.SenderAddress = AddressOfFromField(message.Header.From);
    info.DateText = message.Header.Date;
    info.MessageID = message.Header.MessageID;
    return info;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

// Walks a tree in its order and writes each folder, keeping the output folders of the nodes
// on the way down from the top.
class TTreeExport {
public:
    TTreeExport(const std::string& outDir, const TExportOptions& options)
        : options_(options), root_(std::make_unique<TTargetFolder>(outDir)) {}

    TExportTotals Run(const TStoreFolder& folder) {
        codePage_ = options_.CodePage.empty() ? folder.CodePage : options_.CodePage;
        if (options_.Format == TExportFormat::Maildir && !MakeMaildirParts(*root_)) return totals_;
        progress_.FolderCount = folder.Nodes.size();
        for (const TFolderNode& node : folder.Nodes)
            if (node.File)
                progress_.ExpectedMessages += options_.Indexes ? options_.Indexes->size() : node.Count.value_or(0);
        for (size_t k = 0; k < folder.Nodes.size() && !totals_.Cancelled; ++k) ExportNode(folder, k);
        return totals_;
    }

private:
    // What a written folder leaves for its children.
    struct TLevel {
        std::string Shown;                   // names from the top, for messages
        std::unique_ptr<TTargetFolder> Own;  // eml: the folder; mbox: F.sbd once created
        TTargetFolder* Holder = nullptr;     // mbox: where F and F.sbd lie
        std::string Name;                    // the name written (mbox: F)
        std::string MaildirPath;             // maildir: "A.B" for ".A.B"
        std::unique_ptr<TTargetFolder> Cur;  // maildir: its cur/
        bool Written = false;
    };

    // False once the export is to stop.
    bool GoOn() {
        progress_.Messages = totals_.Messages;
        if (!totals_.Cancelled && options_.Progress && !options_.Progress(progress_)) totals_.Cancelled = true;
        return !totals_.Cancelled;
    }

    void Problem(const std::string& text) {
        ++totals_.Errors;
        if (options_.Problem) options_.Problem(text);
    }

    bool MakeMaildirParts(TTargetFolder& folder) {
        try {
            for (const char* part : kMaildirParts) {
                folder.CreateSubFolder(part, true);
            }
            return true;
        } catch (const Exception& error) {
            Problem(error.Message());
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
        levels_.resize(node.Depth);
        TLevel* parent = node.Depth == 0 ? nullptr : &levels_.back();
        TLevel level;
        level.Shown = parent ? parent->Shown + "/" + node.Name : node.Name;
        progress_.Folder = k;
        progress_.FolderName = level.Shown;
        if (!GoOn()) return;
        std::unique_ptr<TNewFile> mbox;
        try {
            TTargetFolder* holder = ChildHolder(parent);
            if (!holder) throw Exception("its parent folder was not written");
            const std::string prefix = parent ? parent->MaildirPath + "." : std::string();
            level.Name = FreeName(*holder, BaseName(node), options_.Format == TExportFormat::Maildir ? prefix : "");
            level.Holder = holder;
            OpenOutput(*holder, level, prefix, mbox);
        } catch (const Exception& error) {
            Problem(level.Shown + ": the folder cannot be written: " + error.Message());
            levels_.push_back(std::move(level));
            return;
        }
        level.Written = true;
        ++totals_.Folders;
        if (node.File) ExportMessages(JoinPath(folder.Path, *node.File), level, mbox.get(), k);
        if (mbox) {
            try {
                mbox->Finish();
            } catch (const Exception& error) {
                Problem(level.Shown + ": " + error.Message());
            }
        }
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

    std::vector<int32_t> IndexesOf(TOEReader& reader) const {
        if (options_.Indexes) return *options_.Indexes;
        std::vector<int32_t> all(static_cast<size_t>(std::max(reader.GetMessageCount(), 0)));
        for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int32_t>(i);
        return all;
    }

    void ExportMessages(const std::string& path, TLevel& level, TNewFile* mbox, size_t folderNumber) {
        std::unique_ptr<TOEReader> reader;
        try {
            reader = OpenForExport(path, options_.Warnings);
        } catch (const Exception& error) {
            ExportScanned(path, level, mbox, folderNumber, error.Message());
            return;
        }
        if (!reader) return;
        const std::string codePage = codePage_.empty() ? DecideStoreCodePage(*reader) : codePage_;
        for (int32_t index : IndexesOf(*reader)) {
            try {
                if (index < 0 || index >= reader->GetMessageCount()) throw Exception("Message index out of range.");
                const TMessageInfo info = reader->GetMessageInfo(index);
                WriteMessage(reader->GetMessageText(index), info, codePage, index, level, mbox, folderNumber);
                ++totals_.Messages;
            } catch (const Exception& error) {
                Problem(level.Shown + ": message " + std::to_string(index) + ": " + error.Message());
            }
            if (!GoOn()) return;
        }
    }

    // A store whose index cannot be read: every message that a scan of the whole file finds,
    // but the deleted ones, in the order of the file. Chosen indexes do not apply, since they
    // count summaries that could not be read.
    void ExportScanned(const std::string& path, TLevel& level, TNewFile* mbox, size_t folderNumber,
                       const std::string& openError) {
        std::unique_ptr<TStoreRescue> rescue;
        try {
            rescue = std::make_unique<TStoreRescue>(path);
            if (!rescue->Run([this](uint64_t, uint64_t) { return GoOn(); })) return;
        } catch (const Exception&) {
            rescue.reset();
        }
        std::vector<size_t> wanted;
        if (rescue && !options_.Indexes)
            for (size_t i = 0; i < rescue->Messages().size(); ++i)
                if (rescue->Messages()[i].Found.Kind != TFoundKind::Deleted) wanted.push_back(i);
        if (wanted.empty()) {
            Problem(level.Shown + ": " + openError);
            return;
        }
        ++totals_.Recovered;
        if (options_.Recovered)
            options_.Recovered(level.Shown + ": recovered by scan, " + std::to_string(wanted.size()) +
                               (wanted.size() == 1 ? " message (" : " messages (") + openError + ")");
        for (size_t position : wanted) {
            const int32_t index = static_cast<int32_t>(position);
            try {
                WriteMessage(rescue->Text(position), InfoOfRescued(rescue->Messages()[position], position), codePage_,
                             index, level, mbox, folderNumber);
                ++totals_.Messages;
            } catch (const Exception& error) {
                Problem(level.Shown + ": found message " + std::to_string(position) + ": " + error.Message());
            }
            if (!GoOn()) return;
        }
    }

    void WriteMessage(const std::string& text, const TMessageInfo& info, const std::string& codePage, int32_t index,
                      TLevel& level, TNewFile* mbox, size_t folderNumber) {
        switch (options_.Format) {
            case TExportFormat::Eml: {
                std::unique_ptr<TNewFile> file = level.Own->Create(
                    SavedMessageFileName(index, SummaryToUtf8(info.Subject, codePage)), TIfExists::NextFreeName);
                std::string scratch;
                file->Append(NormalizedLineEnds(text, scratch));
                file->Finish(UnixTimeOf(info.Received));
                break;
            }
            case TExportFormat::Mbox: {
                std::string entry;
                AppendMboxEntry(entry, text, info);
                mbox->Append(entry);
                break;
            }
            case TExportFormat::Maildir: {
                std::unique_ptr<TNewFile> file =
                    level.Cur->Create(MaildirFileName(info, folderNumber, index), TIfExists::NextFreeName);
                file->Append(WithLfLineEnds(text));
                file->Finish(UnixTimeOf(info.Received));
                break;
            }
        }
    }

    const TExportOptions& options_;
    std::string codePage_;  // empty: each store's own
    std::unique_ptr<TTargetFolder> root_;
    std::vector<TLevel> levels_;
    TExportTotals totals_;
    TExportProgress progress_;
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

TExportTotals ExportStoreFile(const std::string& path, const std::string& outDir, const TExportOptions& options) {
    const size_t slash = path.rfind('/');
    TStoreFolder folder;
    folder.Path = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    TFolderNode node;
    node.File = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = node.File->rfind('.');
    node.Name = Utf8OrCp1252(dot == std::string::npos || dot == 0 ? *node.File : node.File->substr(0, dot));
    folder.Nodes.push_back(std::move(node));
    return ExportStoreFolder(folder, outDir, options);
}

}  // namespace brindle
