#pragma once
// The walk that feeds a store folder's tree into an export sink: folders made in tree order,
// then each folder's messages, folders side by side when the sink allows it (up to four
// threads). A folder that cannot be made keeps its sub-folders from being asked; a folder or
// message that fails is told to Problem and counted, and the others go on.
#include "mailbox/ExportSink.h"
#include "mailbox/StoreFolder.h"
#include "platform/Warnings.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

struct TSinkWalkOptions {
    // Messages of a single store file (all when none).
    std::optional<std::vector<int32_t>> Indexes;
    std::function<void(const std::string&)> Problem;
    TWarningSink Warnings;
    // After each message, from any thread; false stops the walk before the next message.
    std::function<bool(size_t messagesDone, size_t messagesExpected)> Progress;
    // The code page of the summaries (a label); empty: the folder's.
    std::string CodePage;
    unsigned Threads = 4;
};

struct TSinkWalkTotals {
    size_t Folders = 0;   // made
    size_t Messages = 0;  // handed over without an error
    size_t Errors = 0;    // folders and messages that failed, or were not reached
    bool Cancelled = false;
};

TSinkWalkTotals WalkIntoSink(const TStoreFolder& folder, TExportSink& sink, const TSinkWalkOptions& options);

}  // namespace brindle
