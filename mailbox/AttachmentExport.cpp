#include "mailbox/AttachmentExport.h"

#include "mailbox/ExportSinks.h"
#include "mime/MoxMsg.h"
#include "mime/SaveNames.h"
#include "platform/FileNames.h"
#include "platform/TargetFolder.h"

namespace brindle {
namespace {

constexpr std::string_view kUnnamedFolder = "Folder";
constexpr size_t kMaxFolderNumber = 10000;

std::string FolderName(const TTargetFolder& holder, const TSinkFolder& folder) {
    std::string base = SafeSaveName(folder.Node ? folder.Node->Name : folder.Names.back());
    if (base.empty()) base = kUnnamedFolder;
    for (size_t number = 1; number <= kMaxFolderNumber; ++number) {
        std::string candidate = NumberedFileName(base, number);
        if (!holder.Exists(candidate)) return candidate;
    }
    throw EFCreateError(holder.PathOf(base));
}

}  // namespace

class TAttachmentSink::TFolderOutput : public TSinkFolderOutput {
public:
    TFolderOutput(std::shared_ptr<TTargetFolder> own, std::string shown, std::shared_ptr<TAttachmentTotals> totals,
                  const TWarn& warn)
        : own_(std::move(own)), shown_(std::move(shown)), totals_(std::move(totals)), warn_(warn) {}

    void AddMessage(const TSinkMessage& message) override {
        TMoxMsg parsed;
        parsed.StoreCodePage = std::string(message.CodePage);
        parsed.ClearRawMailAfterParse = true;
        parsed.SetRawText(std::string(message.Text));
        parsed.Parse();
        if (!parsed.Warnings.empty()) {
            ++totals_->Warnings;
            if (warn_)
                for (const std::string& warning : parsed.Warnings)
                    warn_(shown_ + ", message " + std::to_string(message.Index) + ": " + warning);
        }
        if (parsed.AttachedFiles.Count() == 0) return;
        ++totals_->Messages;
        const std::vector<std::string> names = AttachmentSaveNames(parsed.AttachedFiles);
        std::string failures;
        for (size_t k = 0; k < parsed.AttachedFiles.Count(); ++k) {
            const TAttachedFile& file = parsed.AttachedFiles.Items(k);
            try {
                std::unique_ptr<TNewFile> out = own_->Create(names[k], TIfExists::NextFreeName);
                out->Append(file.Data);
                out->Finish(file.Modified ? file.Modified : UnixTimeOf(message.Info->Received));
                ++totals_->Attachments;
                totals_->Bytes += file.Data.size();
            } catch (const Exception& error) {
                ++totals_->Failed;
                failures += (failures.empty() ? "" : "; ") + names[k] + ": " + error.Message();
            }
        }
        if (!failures.empty()) throw Exception("attachments not saved: " + failures);
    }
    void End() override {}

    TTargetFolder& Own() { return *own_; }

private:
    std::shared_ptr<TTargetFolder> own_;
    std::string shown_;
    std::shared_ptr<TAttachmentTotals> totals_;
    const TWarn& warn_;
};

TAttachmentSink::TAttachmentSink(const std::string& outDir, TWarn warn)
    : root_(std::make_unique<TTargetFolder>(outDir)),
      totals_(std::make_shared<TAttachmentTotals>()),
      warn_(std::move(warn)) {}

TAttachmentSink::~TAttachmentSink() = default;

std::unique_ptr<TSinkFolderOutput> TAttachmentSink::BeginFolder(const TSinkFolder& folder,
                                                                TSinkFolderOutput* parent) {
    TTargetFolder& holder = parent ? static_cast<TFolderOutput*>(parent)->Own() : *root_;
    std::shared_ptr<TTargetFolder> own = holder.CreateSubFolder(FolderName(holder, folder));
    return std::make_unique<TFolderOutput>(std::move(own), folder.Shown, totals_, warn_);
}

}  // namespace brindle
