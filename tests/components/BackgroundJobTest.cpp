// The background job: figures, result and error reach the GUI thread, a cancelled job ends
// with what it had, and a destroyed one reports nothing.
#include "components/BackgroundJob.h"

#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <stdexcept>

using namespace brindle;

class BackgroundJobTest : public QObject {
    Q_OBJECT

private slots:
    void progressAndResultReachTheGuiThread() {
        TBackgroundJob job(QStringLiteral("Count"));
        std::vector<std::pair<quint64, quint64>> seen;
        bool otherThread = false;
        connect(&job, &TBackgroundJob::Progress, this, [&](quint64 done, quint64 total) {
            otherThread = otherThread || QThread::currentThread() != thread();
            seen.emplace_back(done, total);
        });
        QSignalSpy finished(&job, &TBackgroundJob::Finished);
        Qt::HANDLE worker = nullptr;
        QVERIFY(job.Start([&worker](TJobControl& control) -> std::any {
            worker = QThread::currentThreadId();
            for (uint64_t i = 1; i <= 1000; ++i) control.Progress(i, 1000);
            return std::string("done");
        }));
        QVERIFY(!job.Start([](TJobControl&) -> std::any { return {}; }));
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(worker != QThread::currentThreadId());
        QVERIFY(!otherThread);
        // Folded, the figures come fewer than told, in order, and end with the last one.
        QVERIFY(!seen.empty());
        QVERIFY(seen.size() <= 1000);
        for (size_t i = 1; i < seen.size(); ++i) QVERIFY(seen[i].first >= seen[i - 1].first);
        QCOMPARE(seen.back(), (std::pair<quint64, quint64>(1000, 1000)));
        QVERIFY(job.Result<std::string>() && *job.Result<std::string>() == "done");
        QVERIFY(!job.Result<int>());
        QVERIFY(!job.Failed() && !job.Cancelled() && !job.Running());
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }

    void errorReachesTheGuiThreadAndTheStatusBar() {
        TBackgroundJob job(QStringLiteral("Export"));
        QLabel label;
        QProgressBar bar;
        QSignalSpy finished(&job, &TBackgroundJob::Finished);
        bool onGuiThread = false;
        connect(&job, &TBackgroundJob::Finished, this, [&] { onGuiThread = QThread::currentThread() == thread(); });
        job.Start([](TJobControl& control) -> std::any {
            control.Progress(1, 2);
            throw std::runtime_error("Cannot write file \"/out/x.eml\"");
        });
        ShowJobIn(job, &label, &bar);
        QCOMPARE(label.text(), QStringLiteral("Export running..."));
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(onGuiThread);
        QVERIFY(job.Failed());
        QCOMPARE(job.Error(), QStringLiteral("Cannot write file \"/out/x.eml\""));
        QVERIFY(!job.Result<int>());
        QCOMPARE(label.text(), QStringLiteral("Export failed"));
        QCOMPARE(label.toolTip(), job.Error());
        QVERIFY(bar.isHidden());
    }

    void cancelledWorkEndsWithWhatItHad() {
        TBackgroundJob job(QStringLiteral("Search"));
        QSignalSpy finished(&job, &TBackgroundJob::Finished);
        std::atomic<bool> started{false};
        job.Start([&started](TJobControl& control) -> std::any {
            started = true;
            int rounds = 0;
            while (control.Progress(static_cast<uint64_t>(rounds), 0)) {
                ++rounds;
                QThread::msleep(1);
            }
            return rounds;
        });
        QTRY_VERIFY(started.load());
        QVERIFY(job.Running());
        job.Cancel();
        job.Wait();
        // Wait delivers the end at once; the queued one that follows is not a second end.
        QCOMPARE(finished.count(), 1);
        QVERIFY(job.Cancelled());
        QVERIFY(job.Result<int>() != nullptr);
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }

    void destroyedJobReportsNothing() {
        int ends = 0;
        int figures = 0;
        {
            TBackgroundJob job(QStringLiteral("Scan"));
            connect(&job, &TBackgroundJob::Finished, this, [&] { ++ends; });
            connect(&job, &TBackgroundJob::Progress, this, [&] { ++figures; });
            job.Start([](TJobControl& control) -> std::any {
                while (control.Progress(1, 2)) QThread::msleep(1);
                return {};
            });
            QThread::msleep(5);
        }
        QTest::qWait(30);
        QCOMPARE(ends, 0);
        QCOMPARE(figures, 0);
    }
};

int RunBackgroundJobTest(int argc, char** argv) {
    BackgroundJobTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "BackgroundJobTest.moc"
