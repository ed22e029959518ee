#include "components/BackgroundJob.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>

namespace brindle {

bool TJobControl::Progress(uint64_t done, uint64_t total) {
    job_.PostProgress(done, total);
    return !Cancelled();
}

TBackgroundJob::TBackgroundJob(QString title, QObject* parent)
    : QObject(parent), title_(std::move(title)), control_(*this) {}

TBackgroundJob::~TBackgroundJob() {
    control_.cancelled_ = true;
    if (thread_.joinable()) thread_.join();
}

bool TBackgroundJob::Start(TWork work) {
    if (started_) return false;
    started_ = true;
    thread_ = std::thread([this, work = std::move(work)] {
        try {
            result_ = work(control_);
        } catch (const std::exception& error) {
            error_ = QString::fromUtf8(error.what());
            if (error_.isEmpty()) error_ = QStringLiteral("Unknown error");
        }
        // Queued to this object: a job destroyed meanwhile takes the call with it.
        QMetaObject::invokeMethod(this, &TBackgroundJob::Deliver, Qt::QueuedConnection);
    });
    return true;
}

void TBackgroundJob::Cancel() { control_.cancelled_ = true; }

void TBackgroundJob::Wait() {
    if (thread_.joinable()) thread_.join();
    Deliver();
}

void TBackgroundJob::PostProgress(uint64_t done, uint64_t total) {
    done_ = done;
    total_ = total;
    if (!progressPending_.exchange(true))
        QMetaObject::invokeMethod(this, &TBackgroundJob::DeliverProgress, Qt::QueuedConnection);
}

void TBackgroundJob::DeliverProgress() {
    progressPending_ = false;
    if (!ended_) emit Progress(done_.load(), total_.load());
}

void TBackgroundJob::Deliver() {
    if (ended_ || !started_) return;
    if (thread_.joinable()) thread_.join();
    ended_ = true;
    emit Finished();
}

void ShowJobIn(TBackgroundJob& job, QLabel* label, QProgressBar* bar) {
    constexpr int kSteps = 1000;
    bar->setRange(0, kSteps);
    bar->setValue(0);
    bar->show();
    label->setText(job.Title() + QStringLiteral(" running..."));
    label->setToolTip(QString());
    QObject::connect(&job, &TBackgroundJob::Progress, bar, [bar](quint64 done, quint64 total) {
        bar->setValue(total == 0 ? kSteps : static_cast<int>(std::min(done, total) * kSteps / total));
    });
    QObject::connect(&job, &TBackgroundJob::Finished, label, [&job, label, bar] {
        bar->hide();
        if (job.Failed()) {
            label->setText(job.Title() + QStringLiteral(" failed"));
            label->setToolTip(job.Error());
        } else if (job.Cancelled()) {
            label->setText(job.Title() + QStringLiteral(" cancelled"));
        }
    });
}

}  // namespace brindle
