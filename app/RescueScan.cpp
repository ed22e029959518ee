#include "app/RescueScan.h"


namespace brindle {

TRescueScan::TRescueScan(std::string path, QObject* parent) : QObject(parent), path_(std::move(path)) {}

TRescueScan::TRescueScan(std::shared_ptr<TStoreRescue> rescue, QObject* parent)
    : QObject(parent), rescue_(std::move(rescue)) {}

TRescueScan::~TRescueScan() { Cancel(); }

void TRescueScan::Start() {
    if (job_) return;
    job_ = std::make_unique<TBackgroundJob>(QStringLiteral("Scan"));
    connect(job_.get(), &TBackgroundJob::Progress, this, &TRescueScan::Progress);
    connect(job_.get(), &TBackgroundJob::Finished, this, &TRescueScan::JobFinished);
    job_->Start([path = path_, codePage = codePage_, rescue = rescue_](TJobControl& control) -> std::any {
        std::shared_ptr<TStoreRescue> scan = rescue;
        if (!scan) {
            scan = std::make_shared<TStoreRescue>(path);
            scan->SetCodePage(codePage);
        }
        if (!scan->Run([&control](uint64_t done, uint64_t total) { return control.Progress(done, total); }))
            return {};
        return scan;
    });
}

// The job goes with its thread joined and its queued reports dropped.
void TRescueScan::Cancel() { job_.reset(); }

void TRescueScan::JobFinished() {
    error_ = job_->Error();
    std::shared_ptr<TStoreRescue>* result = job_->Result<std::shared_ptr<TStoreRescue>>();
    if (result) result_ = std::move(*result);
    emit Finished(result_ != nullptr);
}

size_t UnindexedCount(const TStoreRescue& rescue) {
    size_t count = 0;
    for (const TRescuedMessage& message : rescue.Messages())
        if (message.Found.Kind != TFoundKind::Indexed) ++count;
    return count;
}

}  // namespace brindle
