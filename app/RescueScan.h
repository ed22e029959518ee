#pragma once
// A whole-file scan of a store (TStoreRescue) as a background job: the list stays usable
// meanwhile. Progress and the end reach the GUI thread as signals; a scan that is cancelled
// or destroyed reports nothing more.
#include "components/BackgroundJob.h"
#include "mailbox/Rescue.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

namespace brindle {

class TRescueScan : public QObject {
    Q_OBJECT

public:
    explicit TRescueScan(std::string path, QObject* parent = nullptr);
    // Runs a scan that is open already (a session's).
    explicit TRescueScan(std::shared_ptr<TStoreRescue> rescue, QObject* parent = nullptr);
    // The store's code page (a label) for header text of no declared charset; before Start.
    void SetCodePage(std::string codePage) { codePage_ = std::move(codePage); }
    // Cancels a running scan and waits for its thread.
    ~TRescueScan() override;

    void Start();
    // Asks the worker to stop and waits until it has; Finished is not emitted afterwards.
    void Cancel();
    bool Running() const { return job_ && job_->Running(); }
    // The job that runs the scan, from Start until Cancel, for showing it.
    TBackgroundJob* Job() const { return job_.get(); }

    // After Finished(true): the scan with its messages, handed over once.
    std::shared_ptr<TStoreRescue> TakeResult() { return std::move(result_); }
    // The scan that runs, from the start; none for a scan of a path until its file is open.
    const std::shared_ptr<TStoreRescue>& Rescue() const { return rescue_; }
    // After Finished(false): why the scan gave nothing.
    const QString& ErrorText() const { return error_; }

signals:
    // Bytes of the file looked at, of all.
    void Progress(quint64 done, quint64 total);
    void Finished(bool ok);

private:
    void JobFinished();

    std::string path_;
    std::string codePage_;
    std::unique_ptr<TBackgroundJob> job_;
    std::shared_ptr<TStoreRescue> rescue_;
    std::shared_ptr<TStoreRescue> result_;
    QString error_;
};

// The messages of a scan that the index does not reach: every kind but Indexed.
size_t UnindexedCount(const TStoreRescue& rescue);

}  // namespace brindle
