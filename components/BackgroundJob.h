#pragma once
// One way to run work off the GUI thread. The work runs on a thread of its own and is given
// a control through which it reports progress and learns that it is cancelled; its result
// or its error reaches the GUI thread once, with Finished. Progress is folded: the GUI thread
// sees the latest figures whenever it gets to them, never a queue of stale ones. A job that
// is destroyed cancels its work, waits for it, and reports nothing more.
#include <QObject>
#include <QString>

#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class QLabel;
class QProgressBar;

namespace brindle {

// What the work sees of its job, on the worker thread.
class TJobControl {
public:
    bool Cancelled() const { return cancelled_.load(); }
    // The flag itself, for core functions that take one.
    const std::atomic<bool>* CancelFlag() const { return &cancelled_; }
    // Tells how far the work is; false once the job is cancelled, so that it can be handed on
    // as a scan's or a search's progress callback.
    bool Progress(uint64_t done, uint64_t total);

private:
    friend class TBackgroundJob;
    explicit TJobControl(class TBackgroundJob& job) : job_(job) {}
    TBackgroundJob& job_;
    std::atomic<bool> cancelled_{false};
};

class TBackgroundJob : public QObject {
    Q_OBJECT

public:
    // The work's result, handed to the GUI thread; exceptions it throws become Error().
    using TWork = std::function<std::any(TJobControl& control)>;

    explicit TBackgroundJob(QString title, QObject* parent = nullptr);
    ~TBackgroundJob() override;

    // Starts the work; false when it runs already (a job runs once).
    bool Start(TWork work);
    // Asks the work to stop; it ends as soon as it looks, and Finished still comes.
    void Cancel();
    // Waits for the work and delivers its end at once (for tests and for closing).
    void Wait();
    // Started, and its end not delivered yet.
    bool Running() const { return started_ && !ended_; }

    const QString& Title() const { return title_; }
    // After Finished: how it ended.
    bool Cancelled() const { return control_.Cancelled(); }
    bool Failed() const { return !error_.isEmpty(); }
    const QString& Error() const { return error_; }
    // After Finished: what the work returned (empty after an error).
    template <typename T>
    T* Result() {
        return std::any_cast<T>(&result_);
    }

signals:
    // On the GUI thread: the latest figures the work told.
    void Progress(quint64 done, quint64 total);
    // On the GUI thread, once: the work returned, threw or was cancelled.
    void Finished();

private:
    friend class TJobControl;
    void PostProgress(uint64_t done, uint64_t total);
    void DeliverProgress();
    void Deliver();

    QString title_;
    TJobControl control_;
    std::thread thread_;
    bool started_ = false;
    bool ended_ = false;
    std::atomic<uint64_t> done_{0};
    std::atomic<uint64_t> total_{0};
    std::atomic<bool> progressPending_{false};
    // Written by the worker before it posts its end, read on the GUI thread after joining.
    std::any result_;
    QString error_;
};

// Shows a job in a label and a progress bar, the same way for every job: "<title> running..."
// and the bar while it runs, then "<title> failed" with the error as its tip or "<title>
// cancelled"; after a result the label is the owner's to fill.
void ShowJobIn(TBackgroundJob& job, QLabel* label, QProgressBar* bar);

}  // namespace brindle
