#pragma once
// Bulk extraction: every attachment of every message of a store folder's tree (or of one
// store), saved through the export tree walk into one folder per store folder.
#include "mailbox/ExportSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brindle {

struct TAttachmentTotals {
    size_t Attachments = 0;  // files written
    uint64_t Bytes = 0;
    size_t Messages = 0;     // messages that had at least one attachment
    size_t Failed = 0;       // attachments that could not be written
    size_t Warnings = 0;     // messages whose content had damage that was worked around
};

class TAttachmentSink : public TExportSink {
public:
    // Tells damage in a message's content that was worked around (a TNEF attachment kept as
    // it is), one line each; called on the walk's thread.
    using TWarn = std::function<void(const std::string&)>;
    TAttachmentSink(const std::string& outDir, TWarn warn);
    ~TAttachmentSink() override;

    // Folders nest as the store folder's tree does, named as the .eml export names them; in
    // each, the attachments of its messages under AttachmentSaveNames, a name taken in the
    // folder (by another message's attachment or anything else) numbered " (2)", " (3)"...
    // Files are dated with the attachment's own date, else the message's received time. A
    // message some of whose attachments cannot be written throws once, naming them, after
    // writing the others.
    std::unique_ptr<TSinkFolderOutput> BeginFolder(const TSinkFolder& folder, TSinkFolderOutput* parent) override;

    const TAttachmentTotals& Totals() const { return *totals_; }

private:
    class TFolderOutput;
    std::unique_ptr<class TTargetFolder> root_;
    std::shared_ptr<TAttachmentTotals> totals_;
    TWarn warn_;
};

}  // namespace brindle
