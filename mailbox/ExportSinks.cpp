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

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace brindle {
namespace {

// Days from the date-time epoch (1899-12-30) to 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;
// 9999-12-31T23:59:59Z.
constexpr double kLastUnixSecond = 253402300799.0;
// Names tried for one folder, at most, after those that its siblings took.
constexpr size_t kMaxFolderTries = 10000;
// A name that does not fit is cut and ends in "~" and this many hex digits of a digest of the
// whole name, so that names cut alike stay apart.
constexpr size_t kDigestDigits = 8;
constexpr char kDigestMark = '~';
// A Maildir++ folder whose parent's path leaves less room than this for its own name gets its
// whole path cut instead.
constexpr size_t kMinMaildirLeaf = 24;

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

// 64-bit FNV-1a.
uint64_t NameDigest(std::string_view name) {
    uint64_t hash = 0xCBF29CE484222325ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

// Where name may be cut at most `room` bytes in: not inside a UTF-8 sequence, and for a name in
// modified UTF-7 not inside a shifted run ("&...-").
size_t CutPoint(std::string_view name, size_t room, bool modifiedUtf7) {
    size_t cut = std::min(room, name.size());
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    if (modifiedUtf7) {
        const size_t shift = name.substr(0, cut).rfind('&');
        if (shift != std::string_view::npos && name.find('-', shift) >= cut) cut = shift;
    }
    return cut;
}

}  // namespace

std::string FittedName(std::string_view name, size_t room, bool modifiedUtf7) {
    if (name.size() <= room) return std::string(name);
    const size_t keep = room > kDigestDigits + 1 ? room - kDigestDigits - 1 : 0;
    char digest[24];
    std::snprintf(digest, sizeof digest, "%c%0*llx", kDigestMark, static_cast<int>(kDigestDigits),
                  static_cast<unsigned long long>(NameDigest(name) >> (64 - 4 * kDigestDigits)));
    std::string fitted(name.substr(0, CutPoint(name, keep, modifiedUtf7)));
    fitted += digest;
    return fitted;
}

namespace {

// Numbers the sibling folders that want one name in linear time: per base name, the number
// to try next, since the names before it are taken by folders made before.
class TFolderNumbers {
public:
    // The first of base, "base (2)", "base (3)"... (each through fit) that isFree accepts.
    // key tells apart the places that names are counted in.
    std::string Free(const std::string& key, const std::string& base,
                     const std::function<std::string(const std::string&)>& fit,
                     const std::function<bool(const std::string&)>& isFree, const std::string& shown) {
        size_t& next = next_.try_emplace(key, 1).first->second;
        for (size_t tries = 0; tries < kMaxFolderTries; ++tries) {
            std::string candidate = fit(NumberedFileName(base, next++));
            if (isFree(candidate)) return candidate;
        }
        throw EFCreateError(shown);
    }

private:
    std::unordered_map<std::string, size_t> next_;
};

// Names that had to be cut, for the summary.
std::string ShortenedNote(const std::string& shown, const std::string& written) {
    return "the folder " + shown + " is written as " + written + " (its name is too long for a file name)";
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
    TFolderNumbers& SubFolderNumbers() { return subFolderNumbers_; }

private:
    std::shared_ptr<TTargetFolder> own_;
    TFolderNumbers subFolderNumbers_;
    size_t width_;  // of the indexes in names
    std::string scratch_;
};

class TEmlTreeSink : public TExportSink {
public:
    explicit TEmlTreeSink(const std::string& outDir) : root_(std::make_unique<TTargetFolder>(outDir)) {}

    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        auto* parentOutput = static_cast<TEmlFolderOutput*>(parent);
        TTargetFolder& holder = parentOutput ? parentOutput->Own() : *root_;
        TFolderNumbers& numbers = parentOutput ? parentOutput->SubFolderNumbers() : topNumbers_;
        // NumberedFileName keeps a name within kMaxFileNameBytes already.
        const std::string name = numbers.Free(
            FolderBaseName(folder), FolderBaseName(folder), [](const std::string& name) { return name; },
            [&](const std::string& name) { return !holder.Exists(name); }, holder.PathOf(FolderBaseName(folder)));
        const size_t count = folder.Node && folder.Node->Count ? *folder.Node->Count : 0;
        return std::make_unique<TEmlFolderOutput>(holder.CreateSubFolder(name), IndexWidth(count));
    }

private:
    std::unique_ptr<TTargetFolder> root_;
    TFolderNumbers topNumbers_;
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
        ends_.push_back(handed_ + piece_.size());
        if (piece_.size() < kMboxPiece) return;
        try {
            HandPiece();
        } catch (const Exception&) {
            // The entry just added is this message's own error, not one lost.
            KeepCompleteEntries(1);
        }
    }

    bool CanWithdraw() const override { return true; }

    // Entries it does not know of take nothing out.
    size_t Withdraw(std::span<const size_t> added) override {
        const bool again = std::exchange(withdrawn_, true);
        if (again || !file_ || added.empty() || added.back() >= ends_.size()) return 0;
        std::vector<std::pair<uint64_t, uint64_t>> ranges;
        std::vector<uint64_t> keptEnds;
        keptEnds.reserve(ends_.size() - added.size());
        uint64_t cut = 0;  // bytes taken out before the entry
        for (size_t entry = 0, next = 0; entry < ends_.size(); ++entry) {
            const uint64_t first = entry == 0 ? 0 : ends_[entry - 1];
            if (next == added.size() || added[next] != entry) {
                keptEnds.push_back(ends_[entry] - cut);
                continue;
            }
            ++next;
            cut += ends_[entry] - first;
            if (!ranges.empty() && ranges.back().second == first)
                ranges.back().second = ends_[entry];
            else
                ranges.emplace_back(first, ends_[entry]);
        }
        try {
            HandPiece();
            file_->TakeOut(ranges);
        } catch (const Exception&) {
            lost_ += keptEnds.size();
            Close();
            throw Exception(holder_->PathOf(name_) + ": cannot be written, and was removed");
        }
        ends_ = std::move(keptEnds);
        handed_ = file_->Written();
        onDisk_ = ends_.size();
        return added.size();
    }

    void End() override {
        if (!file_) return;
        try {
            HandPiece();
            file_->Finish();
        } catch (const Exception&) {
            KeepCompleteEntries(0);
        }
        Close();
    }

    size_t TakeLost() override { return std::exchange(lost_, 0); }

    TFolderNumbers& SubFolderNumbers() { return subFolderNumbers_; }

    // F.sbd beside the file F, made when the first sub-folder asks for it.
    const std::shared_ptr<TTargetFolder>& SubFolders() {
        if (!subFolders_) subFolders_ = holder_->CreateSubFolder(name_ + std::string(kMboxFolderSuffix));
        return subFolders_;
    }

private:
    void Close() {
        file_.reset();
        piece_.clear();
        ends_ = {};
        onDisk_ = 0;
    }

    void HandPiece() {
        handed_ += piece_.size();
        std::string piece = std::move(piece_);
        piece_ = {};
        file_->Append(piece);
        CountWrittenEntries();
    }

    void CountWrittenEntries() {
        const uint64_t written = file_->Written();
        while (onDisk_ < ends_.size() && ends_[onDisk_] <= written) ++onDisk_;
    }

    // After a write error: cuts the file after its last complete entry and keeps it, counts the
    // entries accepted before that did not reach the disk (but the own ones, which are the
    // caller's error) as lost, and throws an error that tells what is kept.
    void KeepCompleteEntries(size_t own) {
        CountWrittenEntries();
        const size_t gone = ends_.size() - onDisk_;
        lost_ += gone > own ? gone - own : 0;
        const uint64_t complete = onDisk_ == 0 ? 0 : ends_[onDisk_ - 1];
        const size_t kept = onDisk_;
        std::unique_ptr<TNewFile> file = std::move(file_);
        Close();
        const std::string path = holder_->PathOf(name_);
        try {
            file->FinishAt(complete);
        } catch (const Exception&) {
            lost_ += kept;
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
    TFolderNumbers subFolderNumbers_;
    uint64_t handed_ = 0;        // bytes handed to the file
    std::vector<uint64_t> ends_;  // the file offset after each entry in it
    size_t onDisk_ = 0;           // the first entries, known to be wholly on disk
    size_t lost_ = 0;
    bool withdrawn_ = false;
};

class TMboxSink : public TExportSink {
public:
    explicit TMboxSink(const std::string& outDir) : root_(std::make_shared<TTargetFolder>(outDir)) {}

    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override {
        auto* parentOutput = static_cast<TMboxFolderOutput*>(parent);
        std::shared_ptr<TTargetFolder> holder = parentOutput ? parentOutput->SubFolders() : root_;
        TFolderNumbers& numbers = parentOutput ? parentOutput->SubFolderNumbers() : topNumbers_;
        const std::string base = FolderBaseName(folder);
        // F.sbd must fit as well as F.
        bool shortened = false;
        const std::string name = numbers.Free(
            base, base,
            [&](const std::string& name) {
                std::string fitted = FittedName(name, kMaxFileNameBytes - kMboxFolderSuffix.size());
                shortened = fitted != name;
                return fitted;
            },
            [&](const std::string& name) {
                return !holder->Exists(name) && !holder->Exists(name + std::string(kMboxFolderSuffix));
            },
            holder->PathOf(base));
        if (shortened) notes_.push_back(ShortenedNote(folder.Shown, holder->PathOf(name)));
        return std::make_unique<TMboxFolderOutput>(std::move(holder), name, IsDraftsFolder(folder));
    }
    bool WritesFoldersSideBySide() const override { return true; }
    std::vector<std::string> Notes() const override { return notes_; }

private:
    std::shared_ptr<TTargetFolder> root_;
    TFolderNumbers topNumbers_;
    std::vector<std::string> notes_;
};

// Maildir -------------------------------------------------------------------------------------

class TMaildirFolderOutput : public TSinkFolderOutput {
public:
    // The inbox: the Maildir itself, whose cur/ is given.
    TMaildirFolderOutput(std::unique_ptr<TTargetFolder> cur, const TSinkFolder& folder)
        : path_(kMaildirInbox), cur_(std::move(cur)), number_(folder.Number), drafts_(IsDraftsFolder(folder)) {}
    // A sub-folder ".path" that was made in root, still without its parts.
    TMaildirFolderOutput(std::string path, const TTargetFolder& root, const TSinkFolder& folder)
        : path_(std::move(path)), root_(&root), number_(folder.Number), drafts_(IsDraftsFolder(folder)) {}

    void AddMessage(const TSinkMessage& message) override {
        // cur/ is opened when the first message comes: most folders of a large tree hold none.
        if (!cur_) cur_ = MakeParts()->CreateSubFolder("cur", true);
        std::unique_ptr<TNewFile> file =
            cur_->Create(MaildirFileName(*message.Info, number_, message.Index, drafts_), TIfExists::NextFreeName);
        file->Append(WithLfLineEnds(message.Text));
        file->Finish(UnixTimeOf(message.Info->Received));
        if (!withdrawn_) names_.push_back(file->Name());
    }
    void End() override {
        if (!own_ && root_) MakeParts();
        cur_.reset();
        own_.reset();
        names_ = {};
    }

    bool CanWithdraw() const override { return true; }

    // A file that cannot be removed stays, and is not counted.
    size_t Withdraw(std::span<const size_t> added) override {
        withdrawn_ = true;
        size_t out = 0;
        for (const size_t message : added)
            if (cur_ && message < names_.size() && cur_->RemoveFile(names_[message])) ++out;
        names_ = {};
        return out;
    }

    const std::string& Path() const { return path_; }

private:
    // The folder's mark and its cur/, new/ and tmp/, made once, on whichever thread writes the
    // folder: a tree of many folders makes them side by side.
    // A failure leaves the folder without them, so that each later message tells it again.
    TTargetFolder* MakeParts() {
        if (!own_) {
            std::unique_ptr<TTargetFolder> own = root_->OpenSubFolder("." + path_);
            own->Create(kMaildirFolderMark, TIfExists::Fail)->Finish();
            for (const char* part : kMaildirParts) own->MakeSubFolder(part);
            own_ = std::move(own);
            root_ = nullptr;
        }
        return own_.get();
    }

    std::string path_;  // "A.B" for the folder ".A.B"
    const TTargetFolder* root_ = nullptr;  // until the parts are made
    std::unique_ptr<TTargetFolder> own_;
    std::unique_ptr<TTargetFolder> cur_;
    size_t number_;
    bool drafts_;
    // The file names in cur/ of the messages added, while they may be withdrawn.
    std::vector<std::string> names_;
    bool withdrawn_ = false;
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
            return std::make_unique<TMaildirFolderOutput>(root_->CreateSubFolder("cur", true), folder);
        const std::string prefix = parent ? static_cast<TMaildirFolderOutput*>(parent)->Path() + "." : std::string();
        const std::string base = MaildirBaseName(folder);
        std::string path;
        bool shortened = false;
        numbers_.Free(
            prefix + "/" + base, base,
            [&](const std::string& numbered) {
                path = FittedPath(prefix + numbered);
                shortened = path != prefix + numbered;
                return path;
            },
            [&](const std::string& path) {
                // At the top, INBOX in any case is the Maildir itself to an IMAP server.
                if (path.size() == kMaildirInbox.size() && StartsWithNoCase(path, kMaildirInbox)) return false;
                // Making the folder is the test: a name taken by any entry fails with EEXIST.
                return root_->MakeSubFolderIfFree("." + path);
            },
            root_->PathOf("." + prefix + base));
        if (shortened) notes_.push_back(ShortenedNote(folder.Shown, root_->PathOf("." + path)));
        return std::make_unique<TMaildirFolderOutput>(path, *root_, folder);
    }
    bool WritesFoldersSideBySide() const override { return true; }
    std::vector<std::string> Notes() const override { return notes_; }

private:
    // The folder's name in modified UTF-7, with "." (the level separator) as "_".
    static std::string MaildirBaseName(const TSinkFolder& folder) {
        std::string name = FolderBaseName(folder);
        for (char& c : name)
            if (c == '.') c = '_';
        return EncodeModifiedUtf7(name);
    }

    // The path "A.B.C" of a folder such that ".A.B.C" fits one file name: its own name is cut
    // when the parent's path leaves room enough, else the whole path.
    static std::string FittedPath(const std::string& path) {
        const size_t room = kMaxFileNameBytes - 1;
        if (path.size() <= room) return path;
        const size_t lastDot = path.rfind('.');
        const size_t prefix = lastDot == std::string::npos ? 0 : lastDot + 1;
        if (prefix + kMinMaildirLeaf <= room)
            return path.substr(0, prefix) + FittedName(std::string_view(path).substr(prefix), room - prefix, true);
        return FittedName(path, room, true);
    }

    std::unique_ptr<TTargetFolder> root_;
    TFolderNumbers numbers_;
    std::vector<std::string> notes_;
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
    const double seconds = std::round((value - kUnixEpochDays) * kSecondsPerDay);
    // File names and file times of mail begin at 1970.
    if (seconds < 0 || seconds > kLastUnixSecond) return std::nullopt;
    return static_cast<int64_t>(seconds);
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
    ForEachLineOfBytes(text, [&](std::string_view line) {
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
    std::string out;
    out.reserve(text.size());
    ForEachLineOfBytes(text, [&](std::string_view line) {
        out.append(line);
        out += '\n';
    });
    return out;
}

}  // namespace brindle
