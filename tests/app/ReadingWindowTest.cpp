// The main window as a reader moves through it: keys that open rows, the state after a load,
// greyed commands, columns that fit their texts, what is kept between runs, the reading pane
// and the viewer's steps through the list.
#include "Base64Encode.h"
#include "app/AppHooks.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"
#include "components/DefaultHandler.h"
#include "tests/app/WindowFixtures.h"
#include "tests/components/TestSettings.h"
#include "viewer/ReadingPane.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace brindle;
using namespace brindle::test;

class ReadingWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString store_;
    std::unique_ptr<Twnd_oe_Main> window_;
    std::vector<std::string> viewed_;
    TMessageStep step_;
    QStringList boxes_;

    template <typename T>
    T* Child(const char* name) const {
        return NamedChild<T>(window_.get(), name);
    }
    QTreeView* Tree() const { return Child<QTreeView>("Tree"); }
    TMessageListModel* Model() const { return window_->ListModel(); }
    QString Cell(int row, int column) const { return Model()->index(row, column).data().toString(); }
    bool Enabled(const char* action) const { return Child<QAction>(action)->isEnabled(); }
    void Open(const QString& path) {
        RunGuarded([&] { window_->LoadFile(path); }, window_.get());
    }
    void ShowWindow(const QStringList& arguments = {QStringLiteral("brindle")}) {
        window_.reset();
        window_ = std::make_unique<Twnd_oe_Main>(arguments);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void Focus(int row) {
        Tree()->setFocus();
        Tree()->setCurrentIndex(Model()->index(row, 0));
    }
    std::string RowText(int row) const { return window_->Reader()->GetMessageText(Model()->MessageIndex(row)); }

private slots:
    void initTestCase() {
        std::vector<TFixtureMessage> messages = InboxMessages();
        // A message whose header block fills many screens of the header pane.
        std::vector<std::string> headers;
        for (int i = 0; i < 300; ++i) headers.push_back("Received: from relay" + std::to_string(i) + ".x.org");
        headers.push_back("Subject: Long way");
        TFixtureMessage relayed = Message("Long way", "Dan", "dan@x.org");
        relayed.Text = testsupport::MessageText(headers, "text");
        relayed.Index = 6;
        relayed.Flags = 0;
        messages.push_back(relayed);
        store_ = WriteDbxFixture(dir_.path(), QStringLiteral("Inbox.dbx"), "Inbox", messages);
    }

    void init() {
        TTestSettings::Clear();
        viewed_.clear();
        step_ = {};
        boxes_.clear();
        SetMessageBoxPresenter([this](QWidget*, const QString&, const QString& text) { boxes_ << text; });
        AppHooks().ShowMessageView = [this](const TMessageHandle& message, QWidget*, const TMessageStep& step) {
            viewed_.push_back(message.Text());
            step_ = step;
        };
        AppHooks().RunOpenDialog = [this](QWidget*, TOpenDialog& dialog) {
            dialog.FileName = store_;
            return true;
        };
        ShowWindow();
    }

    void cleanup() {
        window_.reset();
        SetMessageBoxPresenter(nullptr);
        ResetAppHooks();
        ResetViewerHooks();
    }

    void noRowIsCurrentAfterALoad_data() {
        QTest::addColumn<bool>("fromDialog");
        QTest::newRow("open dialog") << true;
        QTest::newRow("load") << false;
    }
    void noRowIsCurrentAfterALoad() {
        QFETCH(bool, fromDialog);
        // The list gets the focus back when the open dialog closes.
        Child<QPlainTextEdit>("Memo")->setFocus();
        QTRY_VERIFY(!Tree()->hasFocus());
        if (fromDialog)
            Child<QAction>("mmOpen")->trigger();
        else
            Open(store_);
        Tree()->setFocus(Qt::ActiveWindowFocusReason);
        QTRY_VERIFY(Tree()->hasFocus());
        QVERIFY(!Tree()->currentIndex().isValid());
        QVERIFY(Child<QPlainTextEdit>("Memo")->toPlainText().startsWith(u"Format:"));
        QVERIFY(window_->StatusText(1).startsWith(u"Elapsed time: "));
        // The arrow keys still start at the top.
        QTest::keyClick(Tree(), Qt::Key_Down);
        QCOMPARE(Tree()->currentIndex().row(), 0);
    }

    void returnAndEnterOpenTheFocusedRow() {
        Open(store_);
        Focus(2);
        QTest::keyClick(Tree(), Qt::Key_Return);
        Focus(4);
        QTest::keyClick(Tree(), Qt::Key_Enter);
        QCOMPARE(viewed_.size(), size_t{2});
        QCOMPARE(viewed_[0], RowText(2));
        QCOMPARE(viewed_[1], RowText(4));
    }

    void commandsAreGreyedWithNothingToActOn() {
        const char* const commands[] = {"mmSaveAll", "mmGatherEmail", "mmMessageView", "mmFileProps"};
        struct TState {
            const char* what;
            bool enabled[4];
        };
        auto check = [&](const TState& state) {
            for (int i = 0; i < 4; ++i)
                QVERIFY2(Enabled(commands[i]) == state.enabled[i],
                         qPrintable(QStringLiteral("%1: %2").arg(state.what, commands[i])));
        };
        check({"no store", {false, false, false, false}});
        Open(store_);
        check({"loaded", {false, true, false, true}});
        Focus(1);
        check({"focused and selected", {true, true, true, true}});
        Tree()->selectionModel()->clearSelection();
        check({"focused only", {false, true, true, true}});
        Open(dir_.filePath(QStringLiteral("missing.dbx")));
        check({"failed open", {false, false, false, false}});
    }

    void columnsFitTheirTextsInBold() {
        QHeaderView* header = Tree()->header();
        for (int column : {TMessageListModel::colSender, TMessageListModel::colReceived})
            header->resizeSection(column, 30);
        Open(store_);
        QFont bold = Tree()->font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        for (int column : {TMessageListModel::colSender, TMessageListModel::colReceived, TMessageListModel::colSize})
            for (int row = 0; row < Model()->rowCount(); ++row) {
                const bool icon = !Model()->index(row, column).data(Qt::DecorationRole).isNull();
                const int needed =
                    metrics.horizontalAdvance(Cell(row, column)) + (icon ? Tree()->iconSize().width() : 0);
                QVERIFY2(header->sectionSize(column) > needed, qPrintable(Cell(row, column)));
            }
        QCOMPARE(header->sectionResizeMode(TMessageListModel::colSubject), QHeaderView::Stretch);
    }

    void layoutIsKeptBetweenRuns() {
        QHeaderView* header = Tree()->header();
        header->resizeSection(TMessageListModel::colSender, 123);
        Open(store_);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(TMessageListModel::colSender) + 5, 5));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(TMessageListModel::colSender) + 5, 5));
        const int sender = header->sectionSize(TMessageListModel::colSender);
        QStringList sortedSubjects;
        for (int row = 0; row < Model()->rowCount(); ++row) sortedSubjects << Cell(row, TMessageListModel::colSubject);
        auto* splitter = Child<QSplitter>("Splitter1");
        Child<QAction>("mmReadingPane")->trigger();
        QVERIFY(splitter->sizes().value(1) >= splitter->sizes().value(0));
        splitter->setSizes({200, splitter->sizes().value(0) + splitter->sizes().value(1) - 200});
        const QList<int> sizes = splitter->sizes();
        window_->close();

        ShowWindow();
        header = Tree()->header();
        QCOMPARE(header->sectionSize(TMessageListModel::colSender), sender);
        QCOMPARE(window_->SortColumn(), int(TMessageListModel::colSender));
        QCOMPARE(window_->SortDirection(), Qt::DescendingOrder);
        QCOMPARE(header->sortIndicatorSection(), int(TMessageListModel::colSender));
        QCOMPARE(Child<QSplitter>("Splitter1")->sizes(), sizes);
        QVERIFY(Child<QAction>("mmReadingPane")->isChecked());
        // The kept order applies to the next load as the two clicks did.
        Open(store_);
        QStringList subjects;
        for (int row = 0; row < Model()->rowCount(); ++row) subjects << Cell(row, TMessageListModel::colSubject);
        QCOMPARE(subjects, sortedSubjects);
    }

    void headerPaneOpensAtItsFirstLine() {
        Open(store_);
        int longRow = -1;
        for (int row = 0; row < Model()->rowCount(); ++row)
            if (Cell(row, TMessageListModel::colSubject) == QStringLiteral("Long way")) longRow = row;
        QVERIFY(longRow >= 0);
        Focus(longRow);
        auto* memo = Child<QPlainTextEdit>("Memo");
        QVERIFY(memo->verticalScrollBar()->maximum() > 0);
        QCOMPARE(memo->verticalScrollBar()->value(), 0);
        QVERIFY(memo->toPlainText().startsWith(u"Received: from relay0.x.org"));
    }

    void readingPaneShowsTheFocusedMessageAndFollows() {
        Open(store_);
        Child<QAction>("mmReadingPane")->trigger();
        TReadingPane* pane = window_->ReadingPane();
        QVERIFY(!pane->isVisible());  // no row is focused yet: the header block shows
        Focus(0);
        QVERIFY(pane->isVisible());
        QVERIFY(!Child<QPlainTextEdit>("Memo")->isVisible());
        QTRY_VERIFY(!pane->Busy());
        QCOMPARE(pane->eSubject->text(), Cell(0, TMessageListModel::colSubject));
        for (int row = 1; row < 4; ++row) {
            QTest::keyClick(Tree(), Qt::Key_Down);
            QTRY_VERIFY(!pane->Busy());
            QCOMPARE(pane->eSubject->text(), Cell(row, TMessageListModel::colSubject));
        }
        QVERIFY(pane->Text->toPlainText().contains(u"second line"));
        Child<QAction>("mmReadingPane")->trigger();
        QVERIFY(!pane->isVisible());
        QVERIFY(Child<QPlainTextEdit>("Memo")->isVisible());
    }

    // Save... in the reading pane tells in the window's status bar what reached the disk and
    // names what did not.
    void savedAttachmentsAreToldInTheStatusBar_data() {
        QTest::addColumn<bool>("folderInTheWay");
        QTest::newRow("all written") << false;
        QTest::newRow("one refused") << true;
    }
    void savedAttachmentsAreToldInTheStatusBar() {
        QFETCH(bool, folderInTheWay);
        QTemporaryDir stores, target;
        TFixtureMessage mail = Message("Two files", "Ann", "a@x.org");
        std::string parts;
        for (const char* name : {"a.bin", "b.bin"})
            parts += std::string("--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                                 "Content-Disposition: attachment; filename=\"") +
                     name + "\"\r\n\r\n" + testsupport::Base64Lines(name, "\r\n");
        mail.Text = testsupport::MessageText(
            {"From: a@x.org", "Subject: Two files", "Content-Type: multipart/mixed; boundary=\"b\""},
            "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n" + parts + "--b--\r\n");
        Open(WriteDbxFixture(stores.path(), QStringLiteral("Files.dbx"), "Files", {mail}));
        if (folderInTheWay) QVERIFY(QDir(target.path()).mkdir(QStringLiteral("b.bin")));
        ViewerHooks().ChooseFolder = [&](QWidget*, const QString&) { return target.path(); };
        ViewerHooks().AskReplace = [](QWidget*, const QString&, const QString&, bool) {
            return TReplaceChoice{TReplaceAnswer::Replace, true};
        };
        Child<QAction>("mmReadingPane")->trigger();
        Focus(0);
        TReadingPane* pane = window_->ReadingPane();
        QTRY_VERIFY(!pane->Busy());
        pane->bSave->click();
        // What could not be written is told in a box as well.
        QCOMPARE(boxes_.size(), folderInTheWay ? 1 : 0);
        if (folderInTheWay) QVERIFY2(boxes_[0].contains(QStringLiteral("b.bin")), qPrintable(boxes_[0]));
        const int written = QDir(target.path()).entryList(QDir::Files).size();
        QCOMPARE(written, folderInTheWay ? 1 : 2);
        const QString status = window_->StatusText(1);
        if (folderInTheWay)
            QCOMPARE(status, QStringLiteral("Saved 1 of 2 attachments to %1; not saved: Cannot create file %1/b.bin")
                                 .arg(target.path()));
        else
            QCOMPARE(status, QStringLiteral("Saved 2 attachments to %1").arg(target.path()));
    }

    void viewerStepsThroughTheListOrder() {
        Open(store_);
        QTest::mouseClick(Tree()->header()->viewport(), Qt::LeftButton, {},
                          QPoint(Tree()->header()->sectionViewportPosition(TMessageListModel::colSubject) + 5, 5));
        Focus(1);
        Child<QAction>("mmMessageView")->trigger();
        QVERIFY(step_);
        QVERIFY(step_.Has(1) && step_.Has(-1));
        QCOMPARE(step_.Move(1).Text(), RowText(2));
        QCOMPARE(Tree()->currentIndex().row(), 2);
        QCOMPARE(step_.Move(-2).Text(), RowText(0));
        QVERIFY(!step_.Has(-1));
        QVERIFY(!step_.Move(-1).Valid());
        QCOMPARE(Tree()->currentIndex().row(), 0);
        Focus(Model()->rowCount() - 1);
        QVERIFY(!step_.Has(1));
        QVERIFY(!step_.Move(1).Valid());
    }

    // Real stores: the reading pane shows every message, each row in turn, without an error.
    void corpusStoresReadInThePane() {
        const QString corpus = QStringLiteral(BRINDLE_CORPUS "/dbx/iped_test_OutlookDBX.dbx");
        if (!QFileInfo::exists(corpus)) QSKIP("corpus not present");
        Open(corpus);
        QVERIFY(boxes_.isEmpty());
        Child<QAction>("mmReadingPane")->trigger();
        TReadingPane* pane = window_->ReadingPane();
        for (int row = 0; row < Model()->rowCount(); ++row) {
            Focus(row);
            QTRY_VERIFY(!pane->Busy());
            QVERIFY2(pane->Message() != nullptr, qPrintable(QString::number(row)));
            QVERIFY2(!pane->lNotice->isVisibleTo(pane), qPrintable(pane->lNotice->text()));
        }
    }
};

int RunReadingWindowTest(int argc, char** argv) {
    ReadingWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ReadingWindowTest.moc"
