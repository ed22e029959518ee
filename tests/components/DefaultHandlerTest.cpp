#include "components/DefaultHandler.h"
#include "components/WaitCursor.h"

#include <QApplication>
#include <QTest>

#include <stdexcept>

using namespace brindle;

class DefaultHandlerTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetMessageBoxPresenter(nullptr); }

    void fullStopAppendedAfterCharactersAboveIt_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Cannot open file x"
                                << "Cannot open file x.";
        QTest::newRow("full stop") << "File is not in supported format."
                                   << "File is not in supported format.";
        QTest::newRow("comma is below the full stop") << "a,"
                                                      << "a,";
        QTest::newRow("slash is above it") << "/tmp/"
                                           << "/tmp/.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fullStopAppendedAfterCharactersAboveIt() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(MessageForDisplay(message), shown);
    }

    void escapingExceptionReachesTheBoxAndTheCursorComesBack() {
        QString title, text;
        SetMessageBoxPresenter([&](QWidget*, const QString& t, const QString& m) {
            title = t;
            text = m;
        });
        SetApplicationTitle(QStringLiteral("Brindle - [Inbox]"));
        RunGuarded([] {
            TWaitCursor wait;
            throw std::runtime_error("Stream read error");
        });
        QCOMPARE(title, QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(text, QStringLiteral("Stream read error."));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        SetApplicationTitle(QStringLiteral("Brindle"));
    }
};

int RunDefaultHandlerTest(int argc, char** argv) {
    DefaultHandlerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DefaultHandlerTest.moc"
