// The filter box over the message list and the Find in Messages dialog, in the main window.
#include "app/AppHooks.h"
#include "app/FindDialog.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"
#include "components/DefaultHandler.h"
#include "tests/app/WindowFixtures.h"
#include "tests/components/TestSettings.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <memory>

using namespace brindle;
using namespace brindle::test;

class SearchWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString store_;
    std::unique_ptr<Twnd_oe_Main> window_;
    std::vector<std::string> viewed_;

    template <typename T>
    T* Child(const char* name) const {
        return NamedChild<T>(window_.get(), name);
    }
    TMessageListModel* Model() const { return window_->ListModel(); }
    QLineEdit* FilterBox() const { return Child<QLineEdit>("FilterBox"); }
    QTreeView* Tree() const { return Child<QTreeView>("Tree"); }
    QStringList Subjects() const {
        QStringList subjects;
        for (int row = 0; row < Model()->rowCount(); ++row)
            subjects << Model()->index(row, TMessageListModel::colSubject).data().toString();
        return subjects;
    }
    void Type(const QString& text) {
        FilterBox()->clear();
        QTest::keyClicks(FilterBox(), text);
    }

private slots:
    void initTestCase() {
        store_ = WriteDbxFixture(dir_.path(), QStringLiteral("Inbox.dbx"), "Inbox",
                                 {Message("beta", "Ann", "ann@x.org"), Message("Alpha", "Ann", "ANN@X.ORG"),
                                  Message("Résumé attached", "Zoé", "z@x.org"), Message("Gamma", "Carol", "c@x.org"),
                                  Message("Re: Hello?", "carol", "C@x.org")});
    }

    void init() {
        TTestSettings::Clear();
        viewed_.clear();
        SetMessageBoxPresenter(
            [](QWidget*, const QString& title, const QString& text) { QFAIL(qPrintable(title + ": " + text)); });
        AppHooks().ShowMessageView = [this](const TMessageHandle& message, QWidget*, const TMessageStep&) {
            viewed_.push_back(message.Text());
        };
        AppHooks().RunModal = [](QDialog&) {};
        window_ = std::make_unique<Twnd_oe_Main>(QStringList{QStringLiteral("brindle")});
        window_->LoadFile(store_);
    }

    void cleanup() {
        window_.reset();
        SetMessageBoxPresenter(nullptr);
        ResetAppHooks();
    }

    void filterKeepsRowsBySenderOrSubject_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("subjects");
        QTest::newRow("sender name, any case") << "ANN" << QStringList{"beta", "Alpha"};
        QTest::newRow("subject") << "gam" << QStringList{"Gamma"};
        QTest::newRow("sender address") << "z@x" << QStringList{"Résumé attached"};
        QTest::newRow("accents set aside") << "resume" << QStringList{"Résumé attached"};
        QTest::newRow("accented text") << "ZOÉ" << QStringList{"Résumé attached"};
        QTest::newRow("nothing") << "nowhere" << QStringList{};
        QTest::newRow("no match across fields") << "annbeta" << QStringList{};
    }

    void filterKeepsRowsBySenderOrSubject() {
        QFETCH(QString, text);
        QFETCH(QStringList, subjects);
        Type(text);
        QCOMPARE(Subjects(), subjects);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Shown: %1 of 5").arg(subjects.size()));
    }

    void narrowingAndWideningAgain() {
        Type(QStringLiteral("a"));
        const int wide = Model()->rowCount();
        QTest::keyClicks(FilterBox(), QStringLiteral("nn"));
        QCOMPARE(Subjects(), (QStringList{"beta", "Alpha"}));
        QTest::keyClick(FilterBox(), Qt::Key_Backspace);
        QTest::keyClick(FilterBox(), Qt::Key_Backspace);
        QCOMPARE(Model()->rowCount(), wide);
    }

    void escapeClearsTheFilter() {
        Type(QStringLiteral("carol"));
        QCOMPARE(Model()->rowCount(), 2);
        QTest::keyClick(FilterBox(), Qt::Key_Escape);
        QVERIFY(FilterBox()->text().isEmpty());
        QCOMPARE(Model()->rowCount(), 5);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 5 / 0"));
    }

    void filteredRowsOpenAndSelectTheirOwnMessages() {
        Type(QStringLiteral("carol"));
        QCOMPARE(Subjects(), (QStringList{"Gamma", "Re: Hello?"}));
        Tree()->setCurrentIndex(Model()->index(1, 0));
        QVERIFY(Child<QPlainTextEdit>("Memo")->toPlainText().contains(QStringLiteral("Subject: Re: Hello?")));
        Child<QAction>("mmMessageView")->trigger();
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], window_->Reader()->GetMessageText(4));
        Tree()->selectAll();
        const std::vector<int> rows = window_->SelectedRows();
        QCOMPARE(rows.size(), size_t{2});
        QCOMPARE(Model()->MessageIndex(rows[0]), 3);
        QCOMPARE(Model()->MessageIndex(rows[1]), 4);
    }

    // Hidden rows are sorted too: they come back in the order of the sort.
    void sortingWhileFilteredOrdersHiddenRowsToo() {
        Type(QStringLiteral("ann"));
        window_->TreeHeaderClick(TMessageListModel::colSubject);
        QCOMPARE(Subjects(), (QStringList{"Alpha", "beta"}));
        window_->TreeHeaderClick(TMessageListModel::colSubject);
        QCOMPARE(Subjects(), (QStringList{"beta", "Alpha"}));
        FilterBox()->clear();
        const QStringList shown = Subjects();
        QCOMPARE(shown.size(), 5);
        // The same order as sorting every row afresh (ascending, then descending again).
        window_->TreeHeaderClick(TMessageListModel::colSubject);
        window_->TreeHeaderClick(TMessageListModel::colSubject);
        QCOMPARE(shown, Subjects());
        QVERIFY(shown.indexOf(QStringLiteral("beta")) < shown.indexOf(QStringLiteral("Alpha")));
    }

    void findDialogListsAndOpensHits() {
        TFindDialog* found = nullptr;
        int hitCount = -1;
        AppHooks().RunModal = [&](QDialog& dialog) {
            found = qobject_cast<TFindDialog*>(&dialog);
            QVERIFY(found);
            QSignalSpy ended(found, &TFindDialog::SearchEnded);
            found->Find(QStringLiteral("RÉSUMÉ"));
            QVERIFY(ended.wait(10000));
            auto* list = found->findChild<QTreeWidget*>(QStringLiteral("FindHits"));
            hitCount = list->topLevelItemCount();
            QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("Zoé"));
            QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Résumé attached"));
            emit list->itemActivated(list->topLevelItem(0), 0);
        };
        Child<QAction>("mmFindInMessages")->trigger();
        QCOMPARE(hitCount, 1);
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], window_->Reader()->GetMessageText(2));
    }

    // The folder column shows the folder's name, not its file's; a click on a header sorts by
    // that column (the date by time), a second click the other way round.
    void findDialogNamesFoldersAndSortsByColumn() {
        std::vector<TFixtureMessage> messages = {Message("Bravo", "Bo", "b@x.org"), Message("alpha", "Cy", "c@x.org"),
                                                 Message("Charlie", "Al", "a@x.org")};
        messages[0].Received = testsupport::FileTimeOf(2004, 5, 6, 7, 8, 9);
        messages[1].Received = testsupport::FileTimeOf(2001, 1, 2, 3, 4, 5);
        messages[2].Received = testsupport::FileTimeOf(2003, 3, 4, 5, 6, 7);
        const QString store = WriteDbxFixture(dir_.path(), QStringLiteral("box1.dbx"), "Sent Items", messages);
        window_->LoadFile(store);
        QStringList folders;
        QList<QStringList> orders;
        AppHooks().RunModal = [&](QDialog& dialog) {
            auto* find = qobject_cast<TFindDialog*>(&dialog);
            QVERIFY(find);
            find->show();
            QSignalSpy ended(find, &TFindDialog::SearchEnded);
            find->Find(QStringLiteral("second line"));
            QVERIFY(ended.wait(10000));
            auto* list = find->findChild<QTreeWidget*>(QStringLiteral("FindHits"));
            auto subjects = [list] {
                QStringList shown;
                for (int row = 0; row < list->topLevelItemCount(); ++row) shown << list->topLevelItem(row)->text(2);
                return shown;
            };
            for (int row = 0; row < list->topLevelItemCount(); ++row) folders << list->topLevelItem(row)->text(0);
            orders << subjects();
            QHeaderView* header = list->header();
            for (int column : {2, 2, 3, 1}) {
                const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                header->height() / 2);
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                orders << subjects();
            }
            find->hide();
        };
        Child<QAction>("mmFindInMessages")->trigger();
        QCOMPARE(folders, (QStringList{"Sent Items", "Sent Items", "Sent Items"}));
        QCOMPARE(orders.size(), 5);
        QCOMPARE(orders[0], (QStringList{"Bravo", "alpha", "Charlie"}));  // as found
        QCOMPARE(orders[1], (QStringList{"alpha", "Bravo", "Charlie"}));  // by subject
        QCOMPARE(orders[2], (QStringList{"Charlie", "Bravo", "alpha"}));  // the other way
        QCOMPARE(orders[3], (QStringList{"alpha", "Charlie", "Bravo"}));  // by time received
        QCOMPARE(orders[4], (QStringList{"Charlie", "Bravo", "alpha"}));  // by sender: Al, Bo, Cy
    }

    void findDialogSearchesTextAndCanRunAgain() {
        int hits[2] = {-1, -1};
        AppHooks().RunModal = [&](QDialog& dialog) {
            auto* find = qobject_cast<TFindDialog*>(&dialog);
            QSignalSpy ended(find, &TFindDialog::SearchEnded);
            find->Find(QStringLiteral("SECOND LINE"));
            QVERIFY(ended.wait(10000));
            hits[0] = static_cast<int>(find->Hits().size());
            find->Find(QStringLiteral("c@x.org"));
            QVERIFY(ended.wait(10000));
            hits[1] = static_cast<int>(find->Hits().size());
        };
        Child<QAction>("mmFindInMessages")->trigger();
        QCOMPARE(hits[0], 5);
        QCOMPARE(hits[1], 2);
    }
};

int RunSearchWindowTest(int argc, char** argv) {
    SearchWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SearchWindowTest.moc"
