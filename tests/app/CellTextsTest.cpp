#include "app/CellTexts.h"
#include "app/Stopwatch.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace brindle;

Q_DECLARE_METATYPE(std::optional<QDateTime>)

class CellTextsTest : public QObject {
    Q_OBJECT

    const QLocale us{QLocale::English, QLocale::UnitedStates};

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void dateTimeValuesCountDaysFrom1899_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("origin") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
        QTest::newRow("day and a half") << 1.5 << QDateTime(QDate(1899, 12, 31), QTime(12, 0));
        QTest::newRow("2000") << 36526.75 << QDateTime(QDate(2000, 1, 1), QTime(18, 0));
        QTest::newRow("before origin, time counts forward") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
        QTest::newRow("rounds up to next midnight") << 45000.9999999999 << QDateTime(QDate(2023, 3, 16), QTime(0, 0));
        QTest::newRow("milliseconds") << 36526.0 + 1.0 / 86400000.0 * 1500
                                      << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 1, 500));
    }
    void dateTimeValuesCountDaysFrom1899() {
        QFETCH(double, value);
        QFETCH(QDateTime, expected);
        std::optional<QDateTime> when = DateTimeOfValue(value);
        QVERIFY(when.has_value());
        QCOMPARE(*when, expected);
    }

    void valuesOutsideTheCalendarGiveNoDate() {
        QVERIFY(!DateTimeOfValue(std::numeric_limits<double>::quiet_NaN()));
        QVERIFY(!DateTimeOfValue(std::numeric_limits<double>::infinity()));
        QVERIFY(!DateTimeOfValue(1e300));
        TMessageInfo info;
        info.Received = 1e300;
        QCOMPARE(ReceivedText(info, us), QString());
    }

    void receivedShowsShortDateAndLongTimeWithoutZone() {
        TMessageInfo info;
        info.Received = 36526.75;
        QString text = ReceivedText(info, us);
        // The blank before PM differs between locale data versions.
        QVERIFY2(text.startsWith(QStringLiteral("1/1/00 6:00:00")), qPrintable(text));
        QVERIFY2(text.endsWith(QStringLiteral("PM")), qPrintable(text));
        QCOMPARE(text.size(), QStringLiteral("1/1/00 6:00:00 PM").size());
        QVERIFY(!LongTimeFormat(us).contains(u't'));
    }

    void midnightShowsTheDateAlone() {
        TMessageInfo info;
        info.Received = 36526.0;
        QCOMPARE(ReceivedText(info, us), QStringLiteral("1/1/00"));
    }

    void unknownDateShowsTheStoreText() {
        TMessageInfo info;
        info.DateText = "Mon, 3 Feb 1997 10:00";
        QCOMPARE(ReceivedText(info, us), QStringLiteral("Mon, 3 Feb 1997 10:00"));
        info.DateText.clear();
        QCOMPARE(ReceivedText(info, us), QString());
    }

    void sizeHasTheLocaleThousandsSeparator_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<uint>("size");
        QTest::addColumn<QString>("text");
        QTest::newRow("us") << us << 1234567u << "1,234,567";
        QTest::newRow("german") << QLocale(QLocale::German, QLocale::Germany) << 1234567u << "1.234.567";
        QTest::newRow("small") << us << 999u << "999";
        QTest::newRow("largest unsigned") << us << 4294967295u << "4,294,967,295";
    }
    void sizeHasTheLocaleThousandsSeparator() {
        QFETCH(QLocale, locale);
        QFETCH(uint, size);
        QFETCH(QString, text);
        QCOMPARE(SizeText(size, locale), text);
    }

    void senderFallsBackToTheAddress() {
        TMessageInfo info;
        info.SenderAddress = "ann@example.org";
        QCOMPARE(SenderOf(info), std::string_view("ann@example.org"));
        info.SenderName = "Ann";
        QCOMPARE(SenderOf(info), std::string_view("Ann"));
    }

    void invalidUtf8IsShownAsWindows1252() {
        QCOMPARE(ShownText("Caf\xe9 \x80"), QStringLiteral("Caf\u00e9 \u20ac"));
        QCOMPARE(ShownText("Caf\xc3\xa9"), QStringLiteral("Caf\u00e9"));
    }

    void elapsedTimeUsesTheLocaleDecimalSeparator() {
        QCOMPARE(ElapsedTimeText(1234.0), QStringLiteral("Elapsed time: 1.23 s"));
        QCOMPARE(ElapsedTimeText(1234567.0), QStringLiteral("Elapsed time: 1234.57 s"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(ElapsedTimeText(1234567.0), QStringLiteral("Elapsed time: 1234,57 s"));
    }
};

int RunCellTextsTest(int argc, char** argv) {
    CellTextsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CellTextsTest.moc"
