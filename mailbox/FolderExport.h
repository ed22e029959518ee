#pragma once
// Export of a store folder's whole tree, or of one store file, through a sink (ExportSink.h):
// the walk over the tree in its order, with the damaged-store fallback, the code page, chosen
// indexes, a message filter, progress and cancel, and reports told in tree order; the file
// sinks (ExportSinks.h) write .eml folders, mbox files or a Maildir++ tree.
#include "mailbox/CodePageChoice.h"
#include "mailbox/Duplicates.h"
#include "mailbox/ExportSink.h"
#include "mailbox/ExportSinks.h"
#include "mailbox/StoreFolder.h"
#include "platform/Warnings.h"
#include "store/MessageInfo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

struct TExportTotals {
    size_t Folders = 0;
    size_t Messages = 0;
    size_t Errors = 0;
    // Folders whose index could not be read, exported from what a whole-file scan found.
    size_t Recovered = 0;
    // Messages that the filter refused.
    size_t Skipped = 0;
    // The export stopped because Progress asked it to.
    bool Cancelled = false;
    // What the sink did beyond the messages (the folders written under a shortened name...).
    std::vector<std::string> Notes;
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
    // The sink that ExportStoreFolder and ExportStoreFile write through.
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
    // The code page of the summaries.
    TCodePageChoice CodePage;
    // Whether a message goes to the sink; a refused one is counted as skipped. Called from the
    // thread that writes the message's folder, for the folders of one sink side by side.
    std::function<bool(const TSinkMessage&)> Filter;
    // Leaves out each message (that Filter let through) whose key it met before in tree order;
    // one left out is counted as skipped. The same run always keeps the same copies, the first
    // in the tree, whatever order the folders are written in.
    std::shared_ptr<TDuplicateFilter> LeaveOutCopies;
};

// Walks the tree of folder in its order and hands each folder and message to the sink. A
// folder whose index cannot be read is exported from a scan of its whole file and told to
// Recovered. A folder of which neither gives a message, one the sink cannot make, or a message
// that cannot be read or written, is told to Problem and counted; the others go on.
TExportTotals ExportTree(const TStoreFolder& folder, TExportSink& sink, const TExportOptions& options);

// ExportTree through the file sink of options.Format, into outDir, which must exist.
TExportTotals ExportStoreFolder(const TStoreFolder& folder, const std::string& outDir, const TExportOptions& options);

// One store file as a store folder of a single folder named name (UTF-8); its count is not read.
TStoreFolder SingleStoreFolder(const std::string& path, std::string name);

// Exports one store file as a folder named after it (mbox, Maildir) into outDir.
TExportTotals ExportStoreFile(const std::string& path, const std::string& outDir, const TExportOptions& options);

}  // namespace brindle
