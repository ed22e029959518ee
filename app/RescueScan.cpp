#include "app/RescueScan.h"

#include <QThread>

namespace brindle {
namespace {

constexpr int kProgressSteps = 200;

}  // namespace

TRescueScan::TRescueScan(std::string path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    connect(this, &TRescueScan::WorkerProgress, this, &TRescueScan::Progress, Qt::QueuedConnection);
    connect(this, &TRescueScan::WorkerDone, this, &TRescueScan::WorkerFinished, Qt::QueuedConnection);
}

TRescueScan::TRescueScan(std::shared_ptr<TStoreRescue> rescue, QObject* parent) : TRescueScan(std::string(), parent) {
    rescue_ = std::move(rescue);
}

TRescueScan::~TRescueScan() { Cancel(); }

void TRescueScan::Start() {
    if (thread_) return;
    thread_ = QThread::create([this] { Work(); });
    thread_->setObjectName(QStringLiteral("RescueScan"));
    thread_->start(QThread::LowPriority);
}

void TRescueScan::Cancel() {
    if (!thread_) return;
    cancelled_ = true;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

bool TRescueScan::Running() const { return thread_ && !thread_->isFinished(); }

std::shared_ptr<TStoreRescue> TRescueScan::TakeResult() { return std::move(result_); }

bool TRescueScan::ReportProgress(uint64_t done, uint64_t total) {
    if (cancelled_) return false;
    const int step = total == 0 ? kProgressSteps : static_cast<int>(done * kProgressSteps / total);
    if (step != lastStep_) {
        lastStep_ = step;
        emit WorkerProgress(done, total, QPrivateSignal());
    }
    return !cancelled_;
}

void TRescueScan::Work() {
    bool ok = false;
    try {
        std::shared_ptr<TStoreRescue> rescue = rescue_;
        if (!rescue) {
            rescue = std::make_shared<TStoreRescue>(path_);
            rescue->SetCodePage(codePage_);
        }
        ok = rescue->Run([this](uint64_t done, uint64_t total) { return ReportProgress(done, total); });
        if (ok) result_ = std::move(rescue);
    } catch (const std::exception& error) {
        error_ = QString::fromUtf8(error.what());
    }
    if (!cancelled_) emit WorkerDone(ok, QPrivateSignal());
}

void TRescueScan::WorkerFinished(bool ok) {
    if (cancelled_ || !thread_) return;
    thread_->wait();
    emit Finished(ok && result_);
}

size_t UnindexedCount(const TStoreRescue& rescue) {
    size_t count = 0;
    for (const TRescuedMessage& message : rescue.Messages())
        if (message.Found.Kind != TFoundKind::Indexed) ++count;
    return count;
}

}  // namespace brindle

namespace brindle {

QString RecoveryNotice(const TFoundMessage& found) {
    if (found.Kind == TFoundKind::Indexed && found.LostBytes == 0) return QString();
    QString notice = found.Kind == TFoundKind::Orphaned ? QStringLiteral("Recovered from unindexed space:")
                                                        : QStringLiteral("Recovered from deleted space:");
    if (found.Kind == TFoundKind::Partial)
        notice += QStringLiteral(" the message breaks off where its next block is missing.");
    if (found.LostBytes == 1)
        notice += QStringLiteral(" 1 byte is lost.");
    else if (found.LostBytes > 1)
        notice += QStringLiteral(" %1 bytes are lost.").arg(found.LostBytes);
    else if (found.Kind != TFoundKind::Partial)
        notice += QStringLiteral(" no bytes are lost.");
    return notice;
}

}  // namespace brindle
