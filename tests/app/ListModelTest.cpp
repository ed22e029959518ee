#include "app/ListImages.h"
#include "app/MessageListModel.h"
#include "tests/app/FakeReader.h"

#include <QAbstractItemModelTester>
#include <QFont>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>

using namespace brindle;
using brindle::test::Summary;
using brindle::test::Borrow;
using brindle::test::TFakeReader;

namespace {

using Model = TMessageListModel;

// The message indexes of the rows, top to bottom.
std::vector<int32_t> RowOrder(const Model& model) {
    std::vector<int32_t> order;
    for (int row = 0; row < model.rowCount(); ++row) order.push_back(model.MessageIndex(row));
    return order;
}

}  // namespace

class ListModelTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void rowsHoldSummaryIndexesInOrder() {
        TFakeReader reader({Summary("a"), Summary("b"), Summary("c")});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(reader.GetMessageCount());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.columnCount(), 7);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{0, 1, 2}));
        model.Fill(1);
        QCOMPARE(RowOrder(model), std::vector<int32_t>{0});
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // Summaries read in the code page; a "?" that the header explains shows the header's text,
    // read once per message and only for such rows.
    void codePageAndLostCharacters() {
        struct THeaderReader : TFakeReader {
            using TFakeReader::TFakeReader;
            std::string GetMessageHeader(int32_t index) override {
                ++reads;
                return index == 1 ? "Subject: =?utf-8?B?WmVkIPCfjok?=\r\n" : TFakeReader::GetMessageHeader(index);
            }
            int reads = 0;
        };
        THeaderReader reader({Summary("\xCF\xF0\xE8\xE2\xE5\xF2"), Summary("Zed ?"), Summary("Why?")});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.SetCodePage("windows-1251");
        model.Fill(3);
        const QString party = QString::fromUtf8("\xF0\x9F\x8E\x89");
        QCOMPARE(model.index(0, Model::colSubject).data().toString(),
                 QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"));
        QCOMPARE(reader.reads, 0);
        QCOMPARE(model.index(1, Model::colSubject).data().toString(), QStringLiteral("Zed ") + party);
        QCOMPARE(model.index(1, Model::colSubject).data().toString(), QStringLiteral("Zed ") + party);
        QCOMPARE(model.index(2, Model::colSubject).data().toString(), QStringLiteral("Why?"));
        QCOMPARE(reader.reads, 2);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.SetCodePage("windows-1252");
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.index(0, Model::colSubject).data().toString(),
                 QString::fromUtf8("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"));
    }

    void cellsShowSenderSubjectDateAndSize() {
        TMessageInfo info = Summary("Hello", "");
        info.SenderAddress = "ann@example.org";
        info.Received = 36526.0;
        info.Size = 1234567;
        TFakeReader reader({info});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(1);
        QCOMPARE(model.index(0, Model::colSender).data().toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(model.index(0, Model::colSubject).data().toString(), QStringLiteral("Hello"));
        QCOMPARE(model.index(0, Model::colReceived).data().toString(), QStringLiteral("1/1/00"));
        QCOMPARE(model.index(0, Model::colSize).data().toString(), QStringLiteral("1,234,567"));
        QCOMPARE(model.index(0, Model::colSize).data(Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignRight | Qt::AlignVCenter));
        for (int column : {0, 1, 2}) QCOMPARE(model.index(0, column).data().toString(), QString());
    }

    void imagesFollowPriorityAndFlags_data() {
        QTest::addColumn<uint>("priority");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<QList<int>>("images");  // columns 0 to 3
        QTest::newRow("high, unread") << 1u << 0u << QList<int>{kImagePriorityHigh, -1, -1, kImageUnread};
        QTest::newRow("low, read") << 5u << 0x80u << QList<int>{kImagePriorityLow, -1, -1, kImageRead};
        QTest::newRow("normal 3") << 3u << 0x80u << QList<int>{-1, -1, -1, kImageRead};
        QTest::newRow("2, 4 and 0 show nothing") << 2u << 0x80u << QList<int>{-1, -1, -1, kImageRead};
        QTest::newRow("4") << 4u << 0x80u << QList<int>{-1, -1, -1, kImageRead};
        QTest::newRow("0") << 0u << 0x80u << QList<int>{-1, -1, -1, kImageRead};
        QTest::newRow("attachment and flag")
            << 3u << 0x40a0u << QList<int>{-1, kImageAttachment, kImageFlag, kImageRead};
    }
    void imagesFollowPriorityAndFlags() {
        QFETCH(uint, priority);
        QFETCH(uint, flags);
        QFETCH(QList<int>, images);
        TMessageInfo info = Summary("s", "x", flags);
        info.Priority = priority;
        for (int column = 0; column < 4; ++column) QCOMPARE(Model::ImageIndex(info, column), images[column]);
        for (int column = 4; column < 7; ++column) QCOMPARE(Model::ImageIndex(info, column), -1);

        TFakeReader reader({info});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(1);
        for (int column = 0; column < 4; ++column) {
            QVariant decoration = model.index(0, column).data(Qt::DecorationRole);
            QCOMPARE(decoration.isValid(), images[column] >= 0);
            if (images[column] >= 0) QVERIFY(!decoration.value<QIcon>().isNull());
        }
    }

    void everyImageIsSixteenPixelsSquare() {
        for (int i = 0; i < kListImageCount; ++i) {
            QVERIFY(!ListImage(i).isNull());
            QCOMPARE(ListImage(i).availableSizes().value(0), QSize(16, 16));
        }
        QVERIFY(ListImage(kListImageCount).isNull());
    }

    // Every change of rows keeps the model consistent as views expect it (the tester fails the
    // test at the first broken rule).
    void modelKeepsItsContractThroughEveryChange() {
        TFakeReader reader({Summary("b", "x", 0), Summary("a"), Summary("c"), Summary("ab")});
        std::vector<TRescuedMessage> found(3);
        const char* subjects[] = {"found a", "found b", "zz"};
        for (size_t i = 0; i < found.size(); ++i) {
            found[i].Found.Kind = i == 2 ? TFoundKind::Indexed : TFoundKind::Deleted;
            found[i].Header.Subject = subjects[i];
        }
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        session.AdoptFound(TFoundSet{nullptr, found, {}}, false);
        model.SetSession(&session);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.Fill(reader.GetMessageCount());
        model.AddFoundRows({0, 1, 2});
        QCOMPARE(model.rowCount(), 7);
        model.SortRows(Model::colSubject, Qt::AscendingOrder);
        model.SetFilter(QStringLiteral("a"));
        QCOMPARE(model.rowCount(), 3);  // a, ab, found a
        model.SortRows(Model::colSender, Qt::DescendingOrder);
        model.SetCodePage("windows-1251");
        model.RemoveFoundRows();
        QCOMPARE(model.rowCount(), 2);
        model.SetFilter(QString());
        QCOMPARE(model.rowCount(), 4);
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
    }

    // Found rows follow the summary rows, sort among them and leave them in their order.
    void foundRowsSortAmongSummaryRowsAndLeaveThemAsTheyWere() {
        TFakeReader reader({Summary("b"), Summary("d")});
        std::vector<TRescuedMessage> found(3);
        const TFoundKind kinds[] = {TFoundKind::Deleted, TFoundKind::Orphaned, TFoundKind::Indexed};
        const char* subjects[] = {"a", "c", "e"};
        for (size_t i = 0; i < found.size(); ++i) {
            found[i].Found.Kind = kinds[i];
            found[i].Header.Subject = subjects[i];
        }
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        session.AdoptFound(TFoundSet{nullptr, found, {}}, false);
        model.SetSession(&session);
        model.Fill(2);
        model.AddFoundRows({0, 1, 2});
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.FoundRowCount(), 3);
        model.SortRows(Model::colSubject, Qt::DescendingOrder);
        QStringList shown;
        for (int row = 0; row < model.rowCount(); ++row) shown << model.index(row, Model::colSubject).data().toString();
        QCOMPARE(shown, (QStringList{"e", "d", "c", "b", "a"}));
        QVERIFY(model.IsFoundRow(0) && model.FoundPosition(0) == 2);
        QVERIFY(!model.IsFoundRow(1));

        // Deleted and unindexed rows are grey with the recovered envelope; a found row of the
        // index looks read.
        const auto icon = [&](int row) {
            return model.index(row, Model::colSender).data(Qt::DecorationRole).value<QIcon>().cacheKey();
        };
        QCOMPARE(icon(2), ListImage(kImageRecovered).cacheKey());
        QCOMPARE(icon(0), ListImage(kImageRead).cacheKey());
        QVERIFY(model.index(4, Model::colSubject).data(Qt::ForegroundRole).isValid());
        QVERIFY(!model.index(0, Model::colSubject).data(Qt::ForegroundRole).isValid());
        QVERIFY(!model.index(1, Model::colSubject).data(Qt::ForegroundRole).isValid());
        QVERIFY(!model.index(2, Model::colSubject).data(Qt::FontRole).isValid());

        model.RemoveFoundRows();
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{1, 0}));
        QCOMPARE(model.FoundRowCount(), 0);
    }

    // Found rows sort with the others by when their own Date line says they were sent, read
    // in the forms old programs wrote, and by their sender's name as the index splits it; the
    // list tells each found row's kind.
    void foundRowsSortByTheirDateAndSenderNameAmongTheOthers() {
        // Received on 2000-01-01 at 10:00, 12:00 and 14:00 UTC.
        std::vector<TMessageInfo> infos = {Summary("ten", "Quinn"), Summary("noon", "Sam"), Summary("two", "Tom")};
        for (size_t i = 0; i < infos.size(); ++i) infos[i].Received = 36526 + (10 + 2 * i) / 24.0;
        TFakeReader reader(infos);
        struct TFound {
            const char* Date;
            const char* From;
            TFoundKind Kind;
        };
        const TFound found[] = {
            {"Sat, 1 Jan 2000 08:30:00 EST", "bob@x.org (Robert)", TFoundKind::Deleted},     // 13:30 UTC
            {"1 Jan 00 11:00 GMT", "\"Adams, Ann\" <ann@x.org>", TFoundKind::Orphaned},      // 11:00 UTC
            {"sat, 01 jan 2000 15:00:00 +0000 (UTC)", "<zed@x.org>", TFoundKind::Partial}};  // 15:00 UTC
        std::vector<TRescuedMessage> records(std::size(found));
        for (size_t i = 0; i < records.size(); ++i) {
            records[i].Header.Date = found[i].Date;
            records[i].Header.From = found[i].From;
            records[i].Found.Kind = found[i].Kind;
        }
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        session.AdoptFound(TFoundSet{nullptr, records, {}}, false);
        model.SetSession(&session);
        model.Fill(3);
        model.AddFoundRows({0, 1, 2});
        // Found rows are numbered -1, -2, -3 after their position.
        model.SortRows(Model::colReceived, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{0, -2, 1, -1, 2, -3}));
        model.SortRows(Model::colSender, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{-2, 0, -1, 1, 2, -3}));
        QStringList senders;
        for (int row = 0; row < model.rowCount(); ++row)
            senders << model.index(row, Model::colSender).data().toString();
        QCOMPARE(senders, (QStringList{"Adams, Ann", "Quinn", "Robert", "Sam", "Tom", "zed@x.org"}));
        // The tip of every cell of a found row names its kind, by position in the found messages.
        const QString kinds[] = {QStringLiteral("Deleted"), QStringLiteral("Unindexed"), QStringLiteral("Partial")};
        for (int row = 0; row < model.rowCount(); ++row) {
            if (!model.IsFoundRow(row)) continue;
            for (int column = 0; column < Model::kColumnCount; ++column) {
                const QString tip = model.index(row, column).data(Qt::ToolTipRole).toString();
                QVERIFY2(tip.startsWith(kinds[model.FoundPosition(row)]), qPrintable(tip));
            }
        }
    }

    void foundMessagesShowTheDateOfTheirOwnHeader_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("shown");
        QTest::newRow("RFC 5322") << "Sat, 1 Jan 2000 13:14:15 +0000"
                                  << "1/1/00 1:14:15 PM";
        QTest::newRow("other zone") << "Sat, 1 Jan 2000 13:14:15 +0200"
                                    << "1/1/00 11:14:15 AM";
        QTest::newRow("unreadable, shown as written") << "sometime in May"
                                                      << "sometime in May";
        QTest::newRow("none") << ""
                              << "";
    }
    void foundMessagesShowTheDateOfTheirOwnHeader() {
        QFETCH(QString, date);
        QFETCH(QString, shown);
        TRescuedMessage message;
        message.Header.Date = date.toStdString();
        Model model;
        QCOMPARE(model.CellText(Model::FoundInfo(message), Model::colReceived), shown);
    }

    void unreadRowsAreBoldInEveryColumn() {
        TFakeReader reader({Summary("unread", "x", 0), Summary("read", "x", 0x80)});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.SetListFont(QFont(QStringLiteral("Sans"), 8));
        model.Fill(2);
        for (int column = 0; column < 7; ++column) {
            QVERIFY(model.index(0, column).data(Qt::FontRole).value<QFont>().bold());
            QVERIFY(!model.index(1, column).data(Qt::FontRole).isValid());
        }
    }

    void headerHasTextsAndImages() {
        Model model;
        QStringList texts;
        for (int column = 0; column < 7; ++column) texts << model.headerData(column, Qt::Horizontal).toString();
        QCOMPARE(texts, (QStringList{"", "", "", "Sender", "Subject", "Received", "Size [B]"}));
        for (int column = 0; column < 7; ++column)
            QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::DecorationRole).isValid(), column < 3);
    }

    void textSortIsStableAndCaseCounts() {
        TFakeReader reader({Summary("b"), Summary("a"), Summary("B"), Summary("a"), Summary("A")});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(5);
        model.SortRows(Model::colSubject, Qt::AscendingOrder);
        // The user's collation: lower case before upper case, equal texts keep their order.
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{1, 3, 4, 0, 2}));
        model.SortRows(Model::colSubject, Qt::DescendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{2, 0, 4, 1, 3}));
    }

    void attachmentSortKeepsOrderInsideEachGroup() {
        TFakeReader reader(
            {Summary("0", "", 0x4000), Summary("1"), Summary("2", "", 0x4000), Summary("3"), Summary("4")});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(5);
        model.SortRows(Model::colAttachment, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{1, 3, 4, 0, 2}));
        model.SortRows(Model::colAttachment, Qt::DescendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{0, 2, 1, 3, 4}));
    }

    void sortByLastColumnBreaksTiesByTheOrderBefore() {
        std::vector<TMessageInfo> infos;
        const char* subjects[] = {"x", "y", "x", "y"};
        const uint32_t sizes[] = {10, 10, 20, 5};
        for (int i = 0; i < 4; ++i) {
            infos.push_back(Summary(subjects[i]));
            infos.back().Size = sizes[i];
        }
        TFakeReader reader(infos);
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(4);
        model.SortRows(Model::colSize, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{3, 0, 1, 2}));
        model.SortRows(Model::colSubject, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{0, 2, 3, 1}));
    }

    void unknownDatesComeFirstAscending() {
        std::vector<TMessageInfo> infos(3);
        infos[0].Received = 36526.5;
        infos[1].DateText = "sometime";
        infos[2].Received = 100.0;
        TFakeReader reader(infos);
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(3);
        model.SortRows(Model::colReceived, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{1, 2, 0}));
    }

    void persistentIndexesFollowTheirMessage() {
        TFakeReader reader({Summary("c"), Summary("a"), Summary("b")});
        Model model;
        TMailboxSession session;
        Borrow(session, reader);
        model.SetSession(&session);
        model.Fill(3);
        QPersistentModelIndex first(model.index(0, Model::colSubject));
        model.SortRows(Model::colSubject, Qt::AscendingOrder);
        QCOMPARE(first.row(), 2);
        QCOMPARE(first.column(), int(Model::colSubject));
        QCOMPARE(first.data().toString(), QStringLiteral("c"));
    }

    void withoutReaderNothingIsShown() {
        Model model;
        model.Fill(2);
        QVERIFY(!model.index(0, Model::colSubject).data().isValid());
        model.SortRows(Model::colSubject, Qt::AscendingOrder);
        QCOMPARE(RowOrder(model), (std::vector<int32_t>{0, 1}));
    }
};

int RunListModelTest(int argc, char** argv) {
    ListModelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ListModelTest.moc"
