// The scan on its worker thread: progress and end reach the GUI thread, cancelling silences
// it; and the notice that the viewer shows above a recovered text.
#include "app/RescueScan.h"
#include "tests/app/WindowFixtures.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace brindle;
using namespace brindle::test;

class RescueScanTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString store_;

private slots:
    void initTestCase() {
        std::vector<TFixtureMessage> messages = InboxMessages();
        for (int i = 0; i < 40; ++i) {
            TFixtureMessage extra = Message("Extra " + std::to_string(i), "Ann", "ann@x.org");
            extra.DbxPresence = i % 2 ? testsupport::TDbxPresence::Deleted : testsupport::TDbxPresence::Orphaned;
            messages.push_back(extra);
        }
        store_ = WriteDbxFixture(dir_.path(), QStringLiteral("Scan.dbx"), "Scan", messages);
    }

    void progressClimbsToTheWholeFileAndTheEndComesOnce() {
        TRescueScan scan(QFile::encodeName(store_).toStdString());
        QSignalSpy finished(&scan, &TRescueScan::Finished);
        std::vector<std::pair<quint64, quint64>> steps;
        Qt::HANDLE receiver = nullptr;
        connect(&scan, &TRescueScan::Progress, this, [&](quint64 done, quint64 total) {
            steps.emplace_back(done, total);
            receiver = QThread::currentThreadId();
        });
        scan.Start();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(receiver == QThread::currentThreadId());
        QVERIFY(!steps.empty());
        for (size_t i = 1; i < steps.size(); ++i) QVERIFY(steps[i].first >= steps[i - 1].first);
        QCOMPARE(steps.back().first, quint64(QFile(store_).size()));
        QCOMPARE(steps.back().second, quint64(QFile(store_).size()));
        std::shared_ptr<TStoreRescue> result = scan.TakeResult();
        QVERIFY(result);
        QCOMPARE(result->Messages().size(), size_t(45));
        QCOMPARE(UnindexedCount(*result), size_t(40));
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }

    void cancelledScanReportsNothingMore() {
        TRescueScan scan(QFile::encodeName(store_).toStdString());
        QSignalSpy finished(&scan, &TRescueScan::Finished);
        scan.Start();
        scan.Cancel();
        QVERIFY(!scan.Running());
        QTest::qWait(50);
        QCOMPARE(finished.count(), 0);
    }

    void fileThatCannotBeOpenedEndsWithItsError() {
        const QString absent = dir_.filePath(QStringLiteral("absent.dbx"));
        TRescueScan scan(QFile::encodeName(absent).toStdString());
        QSignalSpy finished(&scan, &TRescueScan::Finished);
        scan.Start();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!scan.TakeResult());
        QVERIFY2(scan.ErrorText().contains(absent), qPrintable(scan.ErrorText()));
    }

    void noticeTellsWhatTheTextLost_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<uint>("lost");
        QTest::addColumn<QString>("notice");
        QTest::newRow("indexed, whole") << int(TFoundKind::Indexed) << 0u << QString();
        QTest::newRow("deleted") << int(TFoundKind::Deleted) << 12u
                                 << "Recovered from deleted space: 12 bytes are lost.";
        QTest::newRow("deleted, one byte")
            << int(TFoundKind::Deleted) << 1u << "Recovered from deleted space: 1 byte is lost.";
        QTest::newRow("deleted, whole") << int(TFoundKind::Deleted) << 0u
                                        << "Recovered from deleted space: no bytes are lost.";
        QTest::newRow("orphaned") << int(TFoundKind::Orphaned) << 0u
                                  << "Recovered from unindexed space: no bytes are lost.";
        QTest::newRow("partial") << int(TFoundKind::Partial) << 8u
                                 << "This message breaks off after 1536 bytes; the rest was not found. 8 bytes "
                                    "before that are lost.";
        QTest::newRow("partial, whole blocks")
            << int(TFoundKind::Partial) << 0u << "This message breaks off after 1536 bytes; the rest was not found.";
    }
    void noticeTellsWhatTheTextLost() {
        QFETCH(int, kind);
        QFETCH(uint, lost);
        QFETCH(QString, notice);
        TFoundMessage found;
        found.Kind = TFoundKind(kind);
        found.LostBytes = lost;
        found.Size = 1536;
        QCOMPARE(QString::fromStdString(RecoveryNotice(found)), notice);
    }
};

int RunRescueScanTest(int argc, char** argv) {
    RescueScanTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RescueScanTest.moc"
