#include "mailbox/ExportSinks.h"

#include "mailbox/CodePage.h"
#include "mailbox/MessageFiles.h"
#include "platform/Exceptions.h"
#include "platform/FileNames.h"
#include "platform/ModifiedUtf7.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"
#include "platform/TextRules.h"
#include "store/MessageFlags.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>
#include <vector>

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
// The name under which IMAP servers show the Maildir's own top level.
constexpr std::string_view kMaildirInbox = "INBOX";
constexpr std::string_view kUnnamedFolder = "Folder";
// mbox entries are gathered up to this size and handed to the file as one piece, which it
// writes without copying it again.
constexpr size_t kMboxPiece = size_t{128} << 10;

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

// The status fields that an mbox entry writes itself, and X-Keywords when it writes one: the
// message's own are left out so that no entry carries two.
bool IsStatusField(std::string_view line, bool keywordsWritten) {
    if (line.empty() || (UpperAscii(line[0]) != 'S' && UpperAscii(line[0]) != 'X')) return false;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    static constexpr std::string_view kOwn[] = {"status", "x-status", "x-mozilla-status", "x-mozilla-status2"};
    for (std::string_view own : kOwn)
        if (name.size() == own.size() && StartsWithNoCase(name, own)) return true;
    return keywordsWritten && name.size() == 10 && StartsWithNoCase(name, "x-keywords");
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

// A folder's name as safe to create; never empty.
std::string FolderBaseName(const TSinkFolder& folder) {
    std::string name = SafeSaveName(folder.Node ? folder.Node->Name : folder.Names.back());
    return name.empty() ? std::string(kUnnamedFolder) : name;
}

bool IsDraftsFolder(const TSinkFolder& folder) { return folder.Node && folder.Node->Special == kSpecialDrafts; }

// The first of base, "base (2)", "base (3)"... that isFree accepts.
std::string FreeFolderName(const TTargetFolder& holder, const std::string& base,
                           const std::function<bool(const std::string&)>& isFree) {
    for (size_t number = 1; number <= kMaxFolderNumber; ++number) {
        std::string candidate = NumberedFileName(base, number);
        if (isFree(candidate)) return candidate;
    }
    throw EFCreateError(holder.PathOf(base));
}

// .eml tree --------------------------------------------------------------------------------

class TEmlFolderOutput : public TSinkFolderOutput {
public:
    TEmlFolderOutput(std::shared_ptr<TTargetFolder> own, size_t width) : own_(std::move(own)), width_(width) {}

    void AddMessage(const TSinkMessage& message) override {
        std::unique_ptr<TNewFile> file = own_->Create(
            ExportedMessageFileName(message.Index, width_, SummaryToUtf8(message.Info->Subject, message.CodePage)),
            TIfExists::NextFreeName);
        file->Append(NormalizedLineEnds(message.Text, scratch_));
        file->Finish(UnixTimeOf(message.Info->Received));
    }
    void End() override {}

    TTargetFolder& Own() { return *own_; }

private:
    std::shared_ptr<TTargetFolder> own_;
    size_t width_;  // of the indexes in names
    std::string scratch_;
};

class TEmlTreeSink : public TExportSink {
public:
    explicit TEmlTreeSink(const std::string& outDir) : root_(std::make_unique<TTargetFolder>(outDir)) {}

    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        TTargetFolder& holder = parent ? static_cast<TEmlFolderOutput*>(parent)->Own() : *root_;
        const std::string name = FreeFolderName(holder, FolderBaseName(folder),
                                                [&](const std::string& name) { return !holder.Exists(name); });
        const size_t count = folder.Node && folder.Node->Count ? *folder.Node->Count : 0;
        return std::make_unique<TEmlFolderOutput>(holder.CreateSubFolder(name), IndexWidth(count));
    }

private:
    std::unique_ptr<TTargetFolder> root_;
};

// mbox ---------------------------------------------------------------------------------------

class TMboxFolderOutput : public TSinkFolderOutput {
public:
    TMboxFolderOutput(std::shared_ptr<TTargetFolder> holder, std::string name, bool drafts)
        : holder_(std::move(holder)),
          name_(std::move(name)),
          file_(holder_->Create(name_, TIfExists::Fail)),
          drafts_(drafts) {
        file_->KeepAfterWriteError();
    }

    void AddMessage(const TSinkMessage& message) override {
        if (!file_) throw Exception(holder_->PathOf(name_) + ": the file was closed after a write error");
        AppendMboxEntry(piece_, message.Text, *message.Info, drafts_);
        pending_.push_back(handed_ + piece_.size());
        if (piece_.size() < kMboxPiece) return;
        try {
            HandPiece();
        } catch (const Exception&) {
            // The entry just added is this message's own error, not one lost.
            KeepCompleteEntries(1);
        }
    }

    void End() override {
        if (!file_) return;
        try {
            HandPiece();
            file_->Finish();
        } catch (const Exception&) {
            KeepCompleteEntries(0);
        }
        file_.reset();
        pending_.clear();
    }

    size_t TakeLost() override { return std::exchange(lost_, 0); }

    // F.sbd beside the file F, made when the first sub-folder asks for it.
    const std::shared_ptr<TTargetFolder>& SubFolders() {
        if (!subFolders_) subFolders_ = holder_->CreateSubFolder(name_ + std::string(kMboxFolderSuffix));
        return subFolders_;
    }

private:
    void HandPiece() {
        handed_ += piece_.size();
        std::string piece = std::move(piece_);
        piece_ = {};
        file_->Append(piece);
        ForgetWrittenEntries();
    }

    // Entries wholly on the disk need no tracking any more.
    void ForgetWrittenEntries() {
        const uint64_t written = file_->Written();
        size_t done = 0;
        while (done < pending_.size() && pending_[done] <= written) ++done;
        if (done) complete_ = pending_[done - 1];
        entriesKept_ += done;
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(done));
    }

    // After a write error: cuts the file after its last complete entry and keeps it, counts the
    // entries accepted before that did not reach the disk (but the own ones, which are the
    // caller's error) as lost, and throws an error that tells what is kept.
    void KeepCompleteEntries(size_t own) {
        ForgetWrittenEntries();
        const size_t gone = pending_.size();
        lost_ += gone > own ? gone - own : 0;
        pending_.clear();
        piece_.clear();
        std::unique_ptr<TNewFile> file = std::move(file_);
        const std::string path = holder_->PathOf(name_);
        try {
            file->FinishAt(complete_);
        } catch (const Exception&) {
            lost_ += std::exchange(entriesKept_, 0);
            throw Exception(path + ": cannot be written, and was removed");
        }
        throw Exception(path + ": cannot be written further; it is kept with the messages written whole before");
    }

    std::shared_ptr<TTargetFolder> holder_;  // where F and F.sbd lie
    std::string name_;
    std::unique_ptr<TNewFile> file_;
    std::string piece_;  // entries not yet handed to the file
    bool drafts_;        // the messages of the drafts folder are drafts
    std::shared_ptr<TTargetFolder> subFolders_;
    uint64_t handed_ = 0;           // bytes handed to the file
    std::vector<uint64_t> pending_;  // file offsets after each entry not yet known on disk
    uint64_t complete_ = 0;         // the file's size up to its last entry known on disk
    size_t entriesKept_ = 0;
    size_t lost_ = 0;
};

class TMboxSink : public TExportSink {
public:
    explicit TMboxSink(const std::string& outDir) : root_(std::make_shared<TTargetFolder>(outDir)) {}

    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        std::shared_ptr<TTargetFolder> holder =
            parent ? static_cast<TMboxFolderOutput*>(parent)->SubFolders() : root_;
        const std::string name = FreeFolderName(*holder, FolderBaseName(folder), [&](const std::string& name) {
            return !holder->Exists(name) && !holder->Exists(name + std::string(kMboxFolderSuffix));
        });
        return std::make_unique<TMboxFolderOutput>(std::move(holder), name, IsDraftsFolder(folder));
    }
    bool WritesFoldersSideBySide() const override { return true; }

private:
    std::shared_ptr<TTargetFolder> root_;
};

// Maildir -------------------------------------------------------------------------------------

class TMaildirFolderOutput : public TSinkFolderOutput {
public:
    TMaildirFolderOutput(std::string path, std::unique_ptr<TTargetFolder> cur, const TSinkFolder& folder)
        : path_(std::move(path)), cur_(std::move(cur)), number_(folder.Number), drafts_(IsDraftsFolder(folder)) {}

    void AddMessage(const TSinkMessage& message) override {
        std::unique_ptr<TNewFile> file =
            cur_->Create(MaildirFileName(*message.Info, number_, message.Index, drafts_), TIfExists::NextFreeName);
        file->Append(WithLfLineEnds(message.Text));
        file->Finish(UnixTimeOf(message.Info->Received));
    }
    void End() override { cur_.reset(); }

    const std::string& Path() const { return path_; }

private:
    std::string path_;  // "A.B" for the folder ".A.B"
    std::unique_ptr<TTargetFolder> cur_;
    size_t number_;
    bool drafts_;
};

class TMaildirSink : public TExportSink {
public:
    explicit TMaildirSink(const std::string& outDir) : root_(std::make_unique<TTargetFolder>(outDir)) {}

    void Begin() override {
        for (const char* part : kMaildirParts) root_->CreateSubFolder(part, true);
    }

    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        // The inbox is the Maildir itself; its sub-folders are ".INBOX.Name".
        if (folder.Inbox && !parent)
            return std::make_unique<TMaildirFolderOutput>(std::string(kMaildirInbox),
                                                          root_->CreateSubFolder("cur", true), folder);
        const std::string prefix = parent ? static_cast<TMaildirFolderOutput*>(parent)->Path() + "." : std::string();
        const std::string name = FreeFolderName(*root_, MaildirBaseName(folder), [&](const std::string& name) {
            // At the top, INBOX in any case is the Maildir itself to an IMAP server.
            if (prefix.empty() && name.size() == kMaildirInbox.size() && StartsWithNoCase(name, kMaildirInbox))
                return false;
            return !root_->Exists("." + prefix + name);
        });
        const std::string path = prefix + name;
        std::unique_ptr<TTargetFolder> own = root_->CreateSubFolder("." + path);
        own->Create(kMaildirFolderMark, TIfExists::Fail)->Finish();
        std::unique_ptr<TTargetFolder> cur;
        for (const char* part : kMaildirParts) {
            std::unique_ptr<TTargetFolder> made = own->CreateSubFolder(part);
            if (std::string_view(part) == "cur") cur = std::move(made);
        }
        return std::make_unique<TMaildirFolderOutput>(path, std::move(cur), folder);
    }
    bool WritesFoldersSideBySide() const override { return true; }

private:
    // The folder's name in modified UTF-7, with "." (the level separator) as "_".
    static std::string MaildirBaseName(const TSinkFolder& folder) {
        std::string name = FolderBaseName(folder);
        for (char& c : name)
            if (c == '.') c = '_';
        return EncodeModifiedUtf7(name);
    }

    std::unique_ptr<TTargetFolder> root_;
};

}  // namespace

std::optional<TExportFormat> ExportFormatNamed(std::string_view name) {
    if (name == "eml") return TExportFormat::Eml;
    if (name == "mbox") return TExportFormat::Mbox;
    if (name == "maildir") return TExportFormat::Maildir;
    return std::nullopt;
}

std::unique_ptr<TExportSink> MakeEmlTreeSink(const std::string& outDir) {
    return std::make_unique<TEmlTreeSink>(outDir);
}

std::unique_ptr<TExportSink> MakeMboxSink(const std::string& outDir) { return std::make_unique<TMboxSink>(outDir); }

std::unique_ptr<TExportSink> MakeMaildirSink(const std::string& outDir) {
    return std::make_unique<TMaildirSink>(outDir);
}

std::unique_ptr<TExportSink> MakeFileSink(TExportFormat format, const std::string& outDir) {
    switch (format) {
        case TExportFormat::Eml: return MakeEmlTreeSink(outDir);
        case TExportFormat::Mbox: return MakeMboxSink(outDir);
        case TExportFormat::Maildir: return MakeMaildirSink(outDir);
    }
    throw Exception("Unknown export format.");
}

std::optional<int64_t> UnixTimeOf(TDateTime value) {
    if (value == 0 || !std::isfinite(value)) return std::nullopt;
    return static_cast<int64_t>(std::llround((value - kUnixEpochDays) * kSecondsPerDay));
}

std::string MboxFromLine(const TMessageInfo& info) {
    const std::string address = IsUsableAddress(info.SenderAddress) ? info.SenderAddress : "MAILER-DAEMON";
    return "From " + address + " " + AsctimeUtc(UnixTimeOf(info.Received).value_or(0)) + " +0000\n";
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

void AppendMboxEntry(std::string& out, std::string_view text, const TMessageInfo& info, bool draft) {
    const bool forwarded = (info.Flags & kFlagForwarded) != 0;
    out += MboxFromLine(info);
    out += "X-Mozilla-Status: " + MozillaStatus(info.Flags) + "\n";
    out += "X-Mozilla-Status2: 00000000\n";
    out += (info.Flags & kFlagRead) ? "Status: RO\n" : "Status: O\n";
    out += "X-Status: " + MboxXStatus(info.Flags, draft) + "\n";
    if (forwarded) out += "X-Keywords: $Forwarded\n";
    bool inHeader = true;
    bool dropping = false;  // inside a status field of the message's own, continuation lines too
    ForEachLineOfBytes(UpToNul(text), [&](std::string_view line) {
        if (inHeader) {
            if (line.empty()) {
                inHeader = false;
            } else if (line[0] == ' ' || line[0] == '\t') {
                if (dropping) return;
            } else {
                dropping = IsStatusField(line, forwarded);
                if (dropping) return;
            }
        }
        if (IsMboxFromLine(line)) out += '>';
        out.append(line);
        out += '\n';
    });
    out += '\n';
}

std::string MboxXStatus(uint32_t flags, bool draft) {
    std::string letters;
    if (flags & kFlagReplied) letters += 'A';
    if (flags & kFlagFlagged) letters += 'F';
    if (draft) letters += 'T';
    return letters;
}

std::string MaildirFileName(const TMessageInfo& info, size_t folder, int32_t index, bool draft) {
    std::string flags;
    if (draft) flags += 'D';
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

}  // namespace brindle
