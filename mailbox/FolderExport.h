#pragma once
// Export of a store folder's whole tree, or of one store file, as .eml files in nested folders,
// as mbox files in the layout of Thunderbird's local folders, or as a Maildir++ tree. Only new
// files and folders are created, each relative to its parent folder and never through a link.
#include "mailbox/StoreFolder.h"
#include "platform/Warnings.h"
#include "store/MessageInfo.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

enum class TExportFormat { Eml, Mbox, Maildir };

// "eml", "mbox", "maildir"; none for another name.
std::optional<TExportFormat> ExportFormatNamed(std::string_view name);

struct TExportTotals {
    size_t Folders = 0;
    size_t Messages = 0;
    size_t Errors = 0;
    // Folders whose index could not be read, exported from what a whole-file scan found.
    size_t Recovered = 0;
    // The export stopped because Progress asked it to.
    bool Cancelled = false;
};

// How far an export is: reported before each folder and after each message.
struct TExportProgress {
    size_t Folder = 0;  // the folder being written, counted from 0 in tree order
    size_t FolderCount = 0;
    std::string FolderName;  // the names from the top, joined by "/"
    size_t Messages = 0;     // messages written so far, in all folders
    // Messages the folder headers (or the chosen indexes) promise, in all folders.
    size_t ExpectedMessages = 0;
};

struct TExportOptions {
    TExportFormat Format = TExportFormat::Eml;
    // Messages of a single store file to export (all when none).
    std::optional<std::vector<int32_t>> Indexes;
    // Each folder or message that could not be exported, as one line of text.
    std::function<void(const std::string&)> Problem;
    // Damage that reading tolerated.
    TWarningSink Warnings;
    // Called before each folder and after each message (also from a worker thread when the
    // export runs on one); false stops the export before the next message.
    std::function<bool(const TExportProgress&)> Progress;
    // Each folder whose index could not be read and whose messages were taken from a scan of
    // the whole file instead (all but the deleted ones), as one line of text.
    std::function<void(const std::string&)> Recovered;
    // The code page of the summaries (a label); empty: the folder's, else each store's own.
    std::string CodePage;
};

// Exports every folder of the tree into outDir, which must exist. A folder whose index cannot
// be read is exported from a scan of its whole file and told to Recovered. A folder of which
// neither gives a message, or a message that cannot be read or written, is told to Problem and
// counted; the others go on.
TExportTotals ExportStoreFolder(const TStoreFolder& folder, const std::string& outDir, const TExportOptions& options);

// One store file as a store folder of a single folder named name (UTF-8); its count is not read.
TStoreFolder SingleStoreFolder(const std::string& path, std::string name);

// Exports one store file as a folder named after it (mbox, Maildir) into outDir.
TExportTotals ExportStoreFile(const std::string& path, const std::string& outDir, const TExportOptions& options);

// Seconds since 1970-01-01 UTC of a date-time value; none for 0 (unknown).
std::optional<int64_t> UnixTimeOf(TDateTime value);

// "From ADDRESS Www Mmm dd hh:mm:ss yyyy\n": the sender's address (MAILER-DAEMON when it is
// empty or holds white space) and the received time in UTC.
std::string MboxFromLine(const TMessageInfo& info);

// The X-Mozilla-Status value (4 hex digits) of the store's flag bits.
std::string MozillaStatus(uint32_t flags);

// Appends one mbox entry: the From line, the status lines, then the text (up to its first NUL)
// with LF line ends and every line that matches ">*From " quoted by one more ">", and a blank
// line.
void AppendMboxEntry(std::string& out, std::string_view text, const TMessageInfo& info);

// "SECONDS.Mfolder.Pindex.brindle:2,FLAGS": flags from F (flagged), P (forwarded), R (replied),
// S (read), in that order.
std::string MaildirFileName(const TMessageInfo& info, size_t folder, int32_t index);

// The text (up to its first NUL) with every line ended by LF.
std::string WithLfLineEnds(std::string_view text);

}  // namespace brindle
