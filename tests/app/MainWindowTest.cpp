#include "app/AboutBox.h"
#include "app/AddressGathering.h"
#include "app/AppHooks.h"
#include "app/ExportDialog.h"
#include "app/ListImages.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"
#include "components/DefaultHandler.h"
#include "components/MRUList.h"
#include "components/MenuTag.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/PartialMessage.h"
#include "platform/TargetFolder.h"
#include "tests/app/WindowFixtures.h"
#include "viewer/ReadingPane.h"
#include "tests/components/TestSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

#include <unistd.h>

using namespace brindle;
using namespace brindle::test;

namespace {

struct TShownBox {
    QString title;
    QString text;
};

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString storeA_;  // five messages, folder "Inbox"
    QString storeB_;  // two messages, folder "Sent Items"
    std::unique_ptr<Twnd_oe_Main> window_;
    QList<TShownBox> boxes_;
    std::vector<std::string> viewed_;
    QStringList notices_;
    int scanOffers_ = 0;
    TMessageStep step_;
    TMessageHandle lastViewed_;
    bool acceptScan_ = false;

    template <typename T>
    T* Child(const char* name) const {
        return NamedChild<T>(window_.get(), name);
    }
    QTreeView* Tree() const { return Child<QTreeView>("Tree"); }
    TMessageListModel* Model() const { return window_->ListModel(); }
    QString Memo() const { return Child<QPlainTextEdit>("Memo")->toPlainText(); }
    QString Detail() const { return Child<QLabel>("DetailPanel")->text(); }
    QString Cell(int row, int column) const { return Model()->index(row, column).data().toString(); }
    QStringList Subjects() const {
        QStringList subjects;
        for (int row = 0; row < Model()->rowCount(); ++row) subjects << Cell(row, TMessageListModel::colSubject);
        return subjects;
    }
    void Trigger(const char* action) { Child<QAction>(action)->trigger(); }
    void ClickHeader(int column) {
        QHeaderView* header = Tree()->header();
        QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    // Opens a file the way a command does: errors reach the message box.
    void Open(const QString& path) {
        RunGuarded([&] { window_->LoadFile(path); }, window_.get());
    }
    void NewWindow(const QStringList& arguments = {QStringLiteral("brindle")}) {
        window_.reset();
        window_ = std::make_unique<Twnd_oe_Main>(arguments);
    }

    // Rows 3 and 4 after sorting by subject: 3_Gamma.eml and "4_Re Hello .eml".
    void SelectGammaAndHello() {
        ClickHeader(TMessageListModel::colSubject);
        Tree()->selectionModel()->select(QItemSelection(Model()->index(3, 0), Model()->index(4, 6)),
                                         QItemSelectionModel::Select);
    }

private slots:
    void initTestCase() {
        storeA_ = WriteDbxFixture(dir_.path(), QStringLiteral("Inbox.dbx"), "Inbox", InboxMessages());
        storeB_ = WriteDbxFixture(dir_.path(), QStringLiteral("Sent.dbx"), "Sent Items",
                                  {Message("Sent one", "Zed", "z@x.org"), Message("Sent two", "Amy", "a@x.org")});
    }

    void init() {
        TTestSettings::Clear();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        SetApplicationTitle(QStringLiteral("Brindle"));
        boxes_.clear();
        viewed_.clear();
        notices_.clear();
        scanOffers_ = 0;
        acceptScan_ = false;
        SetMessageBoxPresenter([this](QWidget*, const QString& title, const QString& text) {
            boxes_.append({title, text});
        });
        AppHooks().ShowMessageView = [this](const TMessageHandle& message, QWidget*, const TMessageStep& step) {
            step_ = step;
            lastViewed_ = message;
            viewed_.push_back(message.Text());
            notices_.append(QString::fromStdString(message.Notice()));
        };
        AppHooks().OfferScan = [this](QWidget*, const QString& title, const QString& text) {
            boxes_.append({title, text});
            ++scanOffers_;
            return acceptScan_;
        };
        AppHooks().RunModal = [](QDialog&) {};
        AppHooks().OpenUrl = [](const QUrl&) {};
        AppHooks().RunOpenDialog = [](QWidget*, TOpenDialog&) { return false; };
        AppHooks().BrowseForFolder = [](QWidget*, const QString&, const QString&) { return QString(); };
        NewWindow();
    }

    void cleanup() {
        window_.reset();
        SetMessageBoxPresenter(nullptr);
        ResetAppHooks();
        QLocale::setDefault(QLocale::c());
    }

    // An empty font family draws every glyph as a box and reports no error.
    void offscreenPlatformHasFonts() {
        QVERIFY(!QFontDatabase::families().isEmpty());
        QVERIFY(!QFontInfo(window_->font()).family().isEmpty());
        QFont memoFont = Child<QPlainTextEdit>("Memo")->font();
        QVERIFY(QFontInfo(memoFont).fixedPitch());
        QVERIFY(QFontMetrics(memoFont).inFontUcs4(u'A'));
        QVERIFY(QFontMetrics(window_->font()).inFontUcs4(u'S'));
    }

    void controlsAreNamedAndSetUp() {
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle"));
        QCOMPARE(window_->size(), QSize(705, 571));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(Detail(), QStringLiteral("  Message Header"));
        QVERIFY(Child<QPlainTextEdit>("Memo")->isReadOnly());
        QCOMPARE(Child<QPlainTextEdit>("Memo")->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(Child<QLabel>("DetailPanel")->height(), 21);
        QCOMPARE(Child<QStatusBar>("sb")->height(), 19);
        QCOMPARE(Child<QLabel>("sbPanel0")->width(), 150);
        QVERIFY(Child<QSplitter>("Splitter1")->widget(1) == Child<QWidget>("HeaderPanel"));
        QCOMPARE(Child<QSplitter>("Splitter1")->sizes().value(1), 247);

        QCOMPARE(Child<QAction>("mmOpen")->text(), QStringLiteral("&Open..."));
        QCOMPARE(Child<QAction>("mmOpen")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(Child<QAction>("mmMessageView")->shortcuts(), (QList<QKeySequence>{Qt::Key_Return, Qt::Key_Enter}));
        QStringList file;
        for (QAction* a : Child<QMenu>("File1")->actions())
            file << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(file, (QStringList{"&Open...", "Open Store &Folder...", "&Save Selected...", "&Export...",
                                    "&Upload to Mail Account...", "Mailbox &Health...", "-",
                                    "Message &View...", "File P&roperties...", "-", "&Gather E-mail Addresses...", "-",
                                    "E&xit"}));
        QStringList help;
        for (QAction* a : Child<QMenu>("mmHelp")->actions())
            help << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(help, (QStringList{"&About...", "-", "Visit &Homepage", "&Contact Author"}));

        QHeaderView* header = Tree()->header();
        const int widths[] = {25, 25, 25, 200, 200, 125, 75};
        for (int column = 0; column < 7; ++column)
            if (column != TMessageListModel::colSubject) QCOMPARE(header->sectionSize(column), widths[column]);
        QCOMPARE(header->sectionResizeMode(TMessageListModel::colSubject), QHeaderView::Stretch);
        QVERIFY(!header->sectionsMovable());
        QCOMPARE(Tree()->selectionMode(), QAbstractItemView::ExtendedSelection);
        // The first filter, selected at start, shows every kind the program opens.
        for (const QString& pattern : {QStringLiteral("*.dbx"), QStringLiteral("*.mbx"), QStringLiteral("*.eml")})
            QVERIFY(window_->OpenDialogState().Filters.value(0).contains(pattern));
        QCOMPARE(window_->OpenDialogState().Filters.size(), 5);
    }

    void openingAStoreFillsTheListInSummaryOrder() {
        Open(storeA_);
        QVERIFY(boxes_.isEmpty());
        QCOMPARE(Model()->rowCount(), 5);
        QCOMPARE(Subjects(), (QStringList{"beta", "Alpha", "alpha", "Gamma", "Re: Hello?"}));
        QCOMPARE(Cell(1, TMessageListModel::colSender), QStringLiteral("Ann"));
        QCOMPARE(Cell(2, TMessageListModel::colSender), QStringLiteral("bob@x.org"));
        QCOMPARE(Cell(0, TMessageListModel::colSize), QLocale().toString(qulonglong(InboxMessages()[0].Text.size())));
        QVERIFY(Cell(0, TMessageListModel::colReceived).startsWith(QStringLiteral("5/6/04 7:08:09")));
        QVERIFY(Cell(0, TMessageListModel::colReceived).endsWith(QStringLiteral("AM")));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(ApplicationTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(window_->StatusText(0), QStringLiteral("Count: 5"));
        QVERIFY(window_->StatusText(1).startsWith(QStringLiteral("Elapsed time: ")));
        QCOMPARE(Detail(), QStringLiteral("  File Properties"));
        QCOMPARE(Memo(), QStringLiteral("Format: Folder file, version 5/6"));
        QVERIFY(!Tree()->currentIndex().isValid());
    }

    void versionFourFolderNamesItsFormat() {
        QString mbx = dir_.filePath(QStringLiteral("Old Mail.mbx"));
        {
            testsupport::TMbxWriter writer(QFile::encodeName(mbx).toStdString());
            for (const TFixtureMessage& message : InboxMessages()) writer.Add(message);
            writer.Finish();
        }
        Open(mbx);
        QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.value(0).text));
        QCOMPARE(Model()->rowCount(), 5);
        QCOMPARE(Memo(), QStringLiteral("Format: Folder file, version 4"));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Old Mail]"));
        QCOMPARE(Cell(4, TMessageListModel::colSubject), QStringLiteral("Re: Hello?"));
    }

    void kindComesFromTheContentNotTheExtension() {
        QString renamed = dir_.filePath(QStringLiteral("really-a-dbx.mbx"));
        WriteFile(renamed, ReadAll(storeA_));
        Open(renamed);
        QVERIFY(boxes_.isEmpty());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(Memo(), QStringLiteral("Format: Folder file, version 5/6"));
    }

    void realStoresOpen_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("sender");
        QTest::newRow("mtdbx") << "mtdbx_test.dbx" << 1 << "Please read you won't be sorry........"
                               << "Wealth_Enterprises_2002";
        QTest::newRow("dbxconvert") << "dbxconvert_test.dbx" << 2 << "Subject #1"
                                    << "";
        QTest::newRow("iped") << "iped_test_OutlookDBX.dbx" << 28 << ""
                              << "Marcus";
    }
    void realStoresOpen() {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(QString, subject);
        QFETCH(QString, sender);
        QString path = QStringLiteral(BRINDLE_CORPUS "/dbx/") + file;
        if (!QFile::exists(path)) QSKIP("corpus not present");
        Open(path);
        QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.value(0).text));
        QCOMPARE(Model()->rowCount(), count);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Count: %1").arg(count));
        QCOMPARE(Cell(0, TMessageListModel::colSubject), subject);
        if (!sender.isEmpty()) QCOMPARE(Cell(0, TMessageListModel::colSender), sender);
        for (int row = 0; row < count; ++row) {
            Tree()->setCurrentIndex(Model()->index(row, 0));
            QVERIFY(Memo().contains(QStringLiteral("Date:"), Qt::CaseInsensitive));
        }
        QVERIFY(boxes_.isEmpty());
    }

    void unreadRowsAreBoldWithTheClosedEnvelope() {
        Open(storeA_);
        // Message 0 is unread, message 1 read.
        QVERIFY(Model()->index(0, 4).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!Model()->index(1, 4).data(Qt::FontRole).isValid());
        QCOMPARE(TMessageListModel::ImageIndex(window_->Reader()->GetMessageInfo(0), 3), 5);
        QCOMPARE(TMessageListModel::ImageIndex(window_->Reader()->GetMessageInfo(1), 3), 4);
    }

    void threeClicksOnSubjectSortAscendingDescendingAscending() {
        Open(storeA_);
        ClickHeader(TMessageListModel::colSubject);
        QCOMPARE(Subjects(), (QStringList{"alpha", "Alpha", "beta", "Gamma", "Re: Hello?"}));
        QCOMPARE(Tree()->header()->sortIndicatorSection(), 4);
        QCOMPARE(Tree()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        ClickHeader(TMessageListModel::colSubject);
        QCOMPARE(Subjects(), (QStringList{"Re: Hello?", "Gamma", "beta", "Alpha", "alpha"}));
        QCOMPARE(Tree()->header()->sortIndicatorOrder(), Qt::DescendingOrder);
        ClickHeader(TMessageListModel::colSubject);
        QCOMPARE(Subjects(), (QStringList{"alpha", "Alpha", "beta", "Gamma", "Re: Hello?"}));
        QCOMPARE(Tree()->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        ClickHeader(TMessageListModel::colSize);
        QCOMPARE(window_->SortColumn(), 6);
        QCOMPARE(window_->SortDirection(), Qt::AscendingOrder);
        QCOMPARE(Tree()->header()->sortIndicatorSection(), 6);
        for (int row = 1; row < Model()->rowCount(); ++row)
            QVERIFY(window_->Reader()->GetMessageInfo(Model()->MessageIndex(row - 1)).Size <=
                    window_->Reader()->GetMessageInfo(Model()->MessageIndex(row)).Size);
    }

    void sortStateSurvivesOpeningAnotherStore() {
        Open(storeA_);
        ClickHeader(TMessageListModel::colSubject);
        Open(storeB_);
        QCOMPARE(Subjects(), (QStringList{"Sent one", "Sent two"}));
        QCOMPARE(Tree()->header()->sortIndicatorSection(), 4);
        ClickHeader(TMessageListModel::colSubject);
        QCOMPARE(window_->SortDirection(), Qt::DescendingOrder);
        QCOMPARE(Subjects(), (QStringList{"Sent two", "Sent one"}));
    }

    void focusingARowShowsItsHeaderAndTheStorePath() {
        Open(storeA_);
        Tree()->setCurrentIndex(Model()->index(4, 0));
        QCOMPARE(Detail(), QStringLiteral("  Message Header"));
        QVERIFY2(Memo().contains(QStringLiteral("Subject: Re: Hello?")), qPrintable(Memo()));
        QVERIFY(!Memo().contains(u'\r'));
        QCOMPARE(window_->StatusText(1), storeA_);
    }

    void selectionIsCountedInPanelZero() {
        Open(storeA_);
        Tree()->selectionModel()->select(QItemSelection(Model()->index(1, 0), Model()->index(3, 6)),
                                         QItemSelectionModel::Select);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 5 / 3"));
        Tree()->selectionModel()->select(QItemSelection(Model()->index(2, 0), Model()->index(4, 6)),
                                         QItemSelectionModel::Select);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 5 / 4"));
        QCOMPARE(window_->SelectedRows(), (std::vector<int>{1, 2, 3, 4}));
    }

    // Inside a selection the current row carries a mark of its own: the edge of its cells is
    // painted differently from that of the other selected rows.
    void currentRowIsMarkedInsideTheSelection() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        Open(storeA_);
        Tree()->selectionModel()->select(QItemSelection(Model()->index(1, 0), Model()->index(3, 6)),
                                         QItemSelectionModel::Select);
        Tree()->selectionModel()->setCurrentIndex(Model()->index(2, 0), QItemSelectionModel::NoUpdate);
        QCOMPARE(window_->SelectedRows(), (std::vector<int>{1, 2, 3}));
        const QImage image = Tree()->viewport()->grab().toImage();
        const int column = TMessageListModel::colSubject;
        // The pixels along the top edge of a row's subject cell that differ from its most
        // common colour there.
        auto edgeMarks = [&](int row) {
            const QRect cell = Tree()->visualRect(Model()->index(row, column));
            const qreal scale = image.devicePixelRatio();
            const int y = static_cast<int>(cell.top() * scale);
            QMap<QRgb, int> colours;
            for (int x = static_cast<int>(cell.left() * scale); x < static_cast<int>(cell.right() * scale); ++x)
                ++colours[image.pixel(x, y)];
            int most = 0;
            for (int count : colours) most = std::max(most, count);
            int total = 0;
            for (int count : colours) total += count;
            return std::pair<int, int>(total - most, total);
        };
        for (int row : {1, 3}) QCOMPARE(edgeMarks(row).first, 0);
        const auto [marked, total] = edgeMarks(2);
        QVERIFY2(marked > total / 4, qPrintable(QStringLiteral("%1 of %2").arg(marked).arg(total)));
        // The mark follows the current row.
        Tree()->selectionModel()->setCurrentIndex(Model()->index(1, 0), QItemSelectionModel::NoUpdate);
        const QImage moved = Tree()->viewport()->grab().toImage();
        QVERIFY(moved != image);
    }

    // C3: saved names are UTF-8 and fit 255 bytes.
    void saveSelectedWritesTheRowsInDisplayOrder() {
        QTemporaryDir target;
        QString title;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString& t, const QString&) {
            title = t;
            return target.path();
        };
        Open(storeA_);
        ClickHeader(TMessageListModel::colSubject);
        Tree()->selectionModel()->select(QItemSelection(Model()->index(3, 0), Model()->index(4, 6)),
                                         QItemSelectionModel::Select);
        Trigger("mmSaveAll");
        QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.value(0).text));
        QCOMPARE(title, QStringLiteral("Select folder"));
        QStringList names = QDir(target.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names, (QStringList{"3_Gamma.eml", "4_Re Hello .eml"}));
        QByteArray saved = ReadAll(target.filePath(names[1]));
        QVERIFY(saved.startsWith("From: "));
        QVERIFY(saved.endsWith("\r\n"));
        QVERIFY(!saved.replace("\r\n", "").contains('\n'));
        QCOMPARE(window_->StatusText(1), QStringLiteral("Saved 2 messages to %1").arg(target.path()));
    }

    // What could not be written is named in the status bar and the others are saved.
    void saveSelectedNamesWhatItCouldNotWrite() {
        QTemporaryDir target;
        QVERIFY(QDir(target.path()).mkdir(QStringLiteral("3_Gamma.eml")));
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return target.path(); };
        AppHooks().AskReplace = [](QWidget*, const QString&, const QString&, bool) {
            return TReplaceChoice{TReplaceAnswer::Replace, true};
        };
        Open(storeA_);
        SelectGammaAndHello();
        Trigger("mmSaveAll");
        QCOMPARE(boxes_.size(), 1);  // told in a box as well, once the others are saved
        QCOMPARE(boxes_[0].text,
                 QStringLiteral("Cannot create file %1.").arg(target.filePath(QStringLiteral("3_Gamma.eml"))));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{"4_Re Hello .eml"});
        const QString status = window_->StatusText(1);
        QVERIFY2(status.startsWith(QStringLiteral("Saved 1 of 2 messages to %1; not saved: ").arg(target.path())),
                 qPrintable(status));
        QVERIFY2(status.contains(target.filePath(QStringLiteral("3_Gamma.eml"))), qPrintable(status));
    }

    void saveWithNothingSelectedIsGreyedAndWritesNothing() {
        QTemporaryDir target;
        int asked = 0;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) {
            ++asked;
            return target.path();
        };
        Open(storeA_);
        QVERIFY(!Child<QAction>("mmSaveAll")->isEnabled());
        Trigger("mmSaveAll");
        QCOMPARE(asked, 0);
        QVERIFY(QDir(target.path()).entryList(QDir::Files).isEmpty());
    }

    void saveIntoAVanishedFolderReportsTheFileName() {
        QString gone = dir_.filePath(QStringLiteral("gone"));
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return gone; };
        Open(storeA_);
        Tree()->selectionModel()->select(Model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        Trigger("mmSaveAll");
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].text, QStringLiteral("Cannot create file %1/0_beta.eml.").arg(gone));
        QCOMPARE(boxes_[0].title, QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(window_->StatusText(1),
                 QStringLiteral("Saved 0 of 1 messages to %1; not saved: Cannot create file %1/0_beta.eml").arg(gone));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // Save Selected into a folder where one name is a link out of it and the other an older file.
    void saveSelectedAsksAndNeverWritesThroughALink_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("forAll");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("entries");  // in the folder afterwards
        QTest::newRow("replace") << int(TReplaceAnswer::Replace) << false << 2 << 2;
        QTest::newRow("replace all") << int(TReplaceAnswer::Replace) << true << 1 << 2;
        QTest::newRow("keep both") << int(TReplaceAnswer::KeepBoth) << false << 2 << 4;
        QTest::newRow("skip all") << int(TReplaceAnswer::Skip) << true << 1 << 2;
        QTest::newRow("cancel") << int(TReplaceAnswer::Cancel) << false << 1 << 2;
    }
    void saveSelectedAsksAndNeverWritesThroughALink() {
        QFETCH(int, answer);
        QFETCH(bool, forAll);
        QFETCH(int, questions);
        QFETCH(int, entries);
        QTemporaryDir target, outside;
        const QString secret = outside.filePath(QStringLiteral("secret.txt"));
        WriteFile(secret, "outside secret");
        const QString link = target.filePath(QStringLiteral("3_Gamma.eml"));
        const QString older = target.filePath(QStringLiteral("4_Re Hello .eml"));
        QVERIFY(QFile::link(secret, link));
        WriteFile(older, "older");
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return target.path(); };
        int asked = 0;
        AppHooks().AskReplace = [&](QWidget*, const QString&, const QString& folder, bool several) {
            ++asked;
            if (folder != target.path() || !several) return TReplaceChoice{};
            return TReplaceChoice{static_cast<TReplaceAnswer>(answer), forAll};
        };
        Open(storeA_);
        SelectGammaAndHello();
        Trigger("mmSaveAll");
        QVERIFY2(boxes_.isEmpty(), qPrintable(boxes_.value(0).text));
        QCOMPARE(asked, questions);
        QCOMPARE(ReadAll(secret), QByteArray("outside secret"));
        const bool replaced = answer == int(TReplaceAnswer::Replace);
        QCOMPARE(QFileInfo(link).isSymLink(), !replaced);
        QCOMPARE(ReadAll(older) == "older", !replaced);
        if (replaced) QVERIFY(ReadAll(link).startsWith("From: "));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files).size(), entries);
    }

    // The store open in the window is never replaced, also under another name that leads to it.
    void saveSelectedNeverReplacesTheOpenStore() {
        QTemporaryDir target;
        const QString store = target.filePath(QStringLiteral("Inbox.dbx"));
        QVERIFY(QFile::copy(storeA_, store));
        const QString alias = target.filePath(QStringLiteral("3_Gamma.eml"));
        QCOMPARE(::link(QFile::encodeName(store).constData(), QFile::encodeName(alias).constData()), 0);
        const QByteArray before = ReadAll(store);
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return target.path(); };
        AppHooks().AskReplace = [](QWidget*, const QString&, const QString&, bool) {
            return TReplaceChoice{TReplaceAnswer::Replace, true};
        };
        Open(store);
        SelectGammaAndHello();
        Trigger("mmSaveAll");
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].text, QStringLiteral("Cannot create file %1.").arg(alias));
        QCOMPARE(ReadAll(store), before);
        QCOMPARE(ReadAll(alias), before);
    }

    void longSubjectsGiveNamesOfAtMost255Bytes() {
        std::string subject;
        for (int i = 0; i < 120; ++i) subject += "\xc3\xa9";  // 240 bytes of é
        QString store =
            WriteDbxFixture(dir_.path(), QStringLiteral("Long.dbx"), "Long", {Message(subject, "Ann", "ann@x.org")});
        QTemporaryDir target;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return target.path(); };
        Open(store);
        Tree()->selectAll();
        Trigger("mmSaveAll");
        QStringList names = QDir(target.path()).entryList(QDir::Files);
        QCOMPARE(names.size(), 1);
        QVERIFY(names[0].toUtf8().size() <= 255);
        QVERIFY(names[0].startsWith(QStringLiteral("0_\u00e9\u00e9")));
        QVERIFY(names[0].endsWith(QStringLiteral(".eml")));
    }

    // The list shows in a dialog of its own, whatever the lower pane shows, and is copied and
    // saved whole.
    void gatherListsEveryAddressOnceInADialog() {
        for (bool readingPane : {false, true}) {
            NewWindow();
            if (readingPane) Trigger("mmReadingPane");
            Open(storeA_);
            Tree()->setCurrentIndex(Model()->index(0, 0));
            QString title;
            QString text;
            QString saved;
            const QString target = dir_.filePath(QStringLiteral("addresses-%1.txt").arg(readingPane));
            AppHooks().RunModal = [&](QDialog& dialog) {
                auto& addresses = dynamic_cast<TAddressesDialog&>(dialog);
                title = dialog.windowTitle();
                text = addresses.Text();
                QGuiApplication::clipboard()->clear();
                NamedChild<QPushButton>(&dialog, "bCopy")->click();
                addresses.SaveTo(target);
            };
            Trigger("mmGatherEmail");
            const QString expected = QStringLiteral(" = BOB@X.ORG\nANN = ANN@X.ORG\nCAROL = C@X.ORG\nME = ME@X.ORG\n");
            QCOMPARE(text, expected);
            QCOMPARE(title, QStringLiteral("E-mail Addresses (4)"));
            QCOMPARE(QGuiApplication::clipboard()->text(), expected);
            QCOMPARE(QString::fromUtf8(ReadAll(target)), expected);
            QVERIFY(!Memo().contains(QStringLiteral("ANN@X.ORG")));
        }
    }

    void messageViewShowsTheFocusedRowOnly() {
        Open(storeA_);
        Trigger("mmMessageView");
        QVERIFY(viewed_.empty());
        Tree()->selectAll();
        Tree()->setCurrentIndex(Model()->index(1, 0));
        Tree()->selectAll();
        Trigger("mmMessageView");
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], window_->Reader()->GetMessageText(1));
        // The viewer reads the message through its handle, which stays the row's.
        QVERIFY(!lastViewed_.Recovered());
        QCOMPARE(lastViewed_.Index(), std::optional<int32_t>(1));
        QVERIFY(step_.Has(1) && step_.Has(-1));
    }

    // A part of a split message is shown whole, with a notice, when its siblings are in the
    // store or the stores beside it; a lone part shows as it is and names the missing parts.
    void splitMessageIsShownWholeWhenAllItsPartsAreThere() {
        auto part = [](uint32_t number, const std::string& body) {
            TFixtureMessage message = Message("big (" + std::to_string(number) + ")", "Ann", "ann@x.org");
            message.Text = "From: Ann <ann@x.org>\r\nSubject: big (" + std::to_string(number) +
                           ")\r\nMIME-Version: 1.0\r\nContent-Type: message/partial; id=\"s@x\"; number=" +
                           std::to_string(number) + "; total=3\r\n\r\n" + body;
            return message;
        };
        const std::string enclosed = "Subject: big\r\nContent-Type: text/plain\r\n\r\n";
        const std::vector<TFixtureMessage> parts = {part(1, enclosed + "one\r\n"), part(2, "two\r\n"),
                                                    part(3, "three\r\n")};
        const QString both = dir_.filePath(QStringLiteral("split"));
        const QString lone = dir_.filePath(QStringLiteral("lone"));
        QVERIFY(QDir().mkpath(both) && QDir().mkpath(lone));
        const QString store = WriteDbxFixture(both, QStringLiteral("Parts.dbx"), "Parts",
                                              {parts[1], Message("other", "Bob", "b@x.org"), parts[0]});
        WriteDbxFixture(both, QStringLiteral("Rest.dbx"), "Rest", {parts[2]});
        const QString alone = WriteDbxFixture(lone, QStringLiteral("Lone.dbx"), "Lone", {parts[1]});
        const std::string whole = ReassemblePartial({parts[0].Text, parts[1].Text, parts[2].Text});

        Open(store);
        Tree()->setCurrentIndex(Model()->index(0, 0));
        Trigger("mmMessageView");
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], whole);
        QVERIFY2(notices_[0].contains(QStringLiteral("part 2 of 3; all parts found, shown reassembled")),
                 qPrintable(notices_[0]));
        // A message that is no part is shown as it is, without a notice.
        Tree()->setCurrentIndex(Model()->index(1, 0));
        Trigger("mmMessageView");
        QCOMPARE(viewed_[1], window_->Reader()->GetMessageText(1));
        QVERIFY(notices_[1].isEmpty());

        Open(alone);
        Tree()->setCurrentIndex(Model()->index(0, 0));
        Trigger("mmMessageView");
        QCOMPARE(viewed_[2], parts[1].Text);
        QVERIFY2(notices_[2].contains(QStringLiteral("missing: parts 1, 3")), qPrintable(notices_[2]));

        // The reading pane shows the same.
        Open(store);
        if (!Child<QAction>("mmReadingPane")->isChecked()) Trigger("mmReadingPane");
        Tree()->setCurrentIndex(Model()->index(2, 0));
        QTRY_VERIFY(!window_->ReadingPane()->Busy());
        QVERIFY2(window_->ReadingPane()->lNotice->text().contains(QStringLiteral("part 1 of 3; all parts found")),
                 qPrintable(window_->ReadingPane()->lNotice->text()));
        QCOMPARE(QString::fromStdString(window_->ReadingPane()->Message()->Subject), QStringLiteral("big"));
    }

    void doubleClickViewsTheMessage() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        Open(storeA_);
        QRect cell = Tree()->visualRect(Model()->index(2, 4));
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(Tree()->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], window_->Reader()->GetMessageText(2));
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 5 / 1"));
    }

    void emlFileGoesToTheViewerWithCrLfLines() {
        Open(storeA_);
        ClickHeader(TMessageListModel::colSubject);
        QString eml = dir_.filePath(QStringLiteral("message.EML"));
        WriteFile(eml, "Subject: hi\n\nline one\nline two");
        Open(eml);
        QVERIFY(boxes_.isEmpty());
        QCOMPARE(viewed_.size(), size_t{1});
        QCOMPARE(viewed_[0], std::string("Subject: hi\r\n\r\nline one\r\nline two\r\n"));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(Subjects().first(), QStringLiteral("alpha"));
        QVERIFY(window_->StatusText(1).startsWith(QStringLiteral("Elapsed time: ")));
        // The message joins the recent files, and opens from there again.
        QCOMPARE(window_->MRUList()->Items(), (QStringList{eml, storeA_}));
        QAction* recent = nullptr;
        for (QAction* action : Child<QMenu>("File1")->actions())
            if (action->text() == Korvane_MRUList::EntryCaption(0, eml)) recent = action;
        QVERIFY(recent);
        recent->trigger();
        QCOMPARE(viewed_.size(), size_t{2});
        QCOMPARE(viewed_[1], viewed_[0]);
    }

    void missingEmlFileIsReported() {
        Open(dir_.filePath(QStringLiteral("none.eml")));
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].text, QStringLiteral("Cannot open file %1.").arg(dir_.filePath(QStringLiteral("none.eml"))));
        QCOMPARE(window_->StatusText(1), QStringLiteral("Reading..."));
        QVERIFY(viewed_.empty());
        QVERIFY(window_->MRUList()->Items().isEmpty());
    }

    void unsupportedFileLeavesNoStoreOpen() {
        Open(storeA_);
        QString text = dir_.filePath(QStringLiteral("notes.dbx"));
        WriteFile(text, "hello, this is text");
        Open(text);
        QCOMPARE(boxes_.size(), 1);
        // Nothing describes the store that was open before.
        QCOMPARE(boxes_[0].title, QStringLiteral("Brindle"));
        QCOMPARE(boxes_[0].text, QStringLiteral("notes.dbx: File is not in supported format."));
        QVERIFY(window_->Reader() == nullptr);
        QCOMPARE(Model()->rowCount(), 0);
        QCOMPARE(Detail(), QString());
        QCOMPARE(Memo(), QString());
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle"));
        QCOMPARE(window_->StatusText(0), QString());
        QCOMPARE(window_->StatusText(1), QStringLiteral("notes.dbx: File is not in supported format."));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(window_->MRUList()->Items(), QStringList{storeA_});
        // Commands that need a store are greyed and do nothing now.
        for (const char* command : {"mmGatherEmail", "mmFileProps", "mmSaveAll", "mmMessageView"})
            QVERIFY2(!Child<QAction>(command)->isEnabled(), command);
        Trigger("mmGatherEmail");
        Trigger("mmFileProps");
        QCOMPARE(boxes_.size(), 1);
    }

    void tooShortAndMissingFilesAreReported() {
        QString tiny = dir_.filePath(QStringLiteral("tiny.dbx"));
        WriteFile(tiny, "ab");
        Open(tiny);
        Open(dir_.filePath(QStringLiteral("absent.dbx")));
        QCOMPARE(boxes_.size(), 2);
        QCOMPARE(scanOffers_, 1);  // a file that cannot be read has nothing to scan
        QCOMPARE(boxes_[0].text, QStringLiteral("tiny.dbx: Stream read error."));
        QCOMPARE(boxes_[1].text,
                 QStringLiteral("Cannot open file %1.").arg(dir_.filePath(QStringLiteral("absent.dbx"))));
        QCOMPARE(boxes_[1].title, QStringLiteral("Brindle"));
    }

    void damagedStoreKeepsItsReaderButIsNotRemembered_data() {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("count");
        QTest::newRow("second magic") << int(testsupport::TDbxDamageKind::SecondMagic)
                                      << "Damaged.dbx: File is not an Outlook Express 5 Message Database."
                                      << "Brindle"
                                      << "";
        QTest::newRow("info object") << int(testsupport::TDbxDamageKind::InfoMarker)
                                     << "Damaged.dbx: Wrong object marker."
                                     << "Brindle"
                                     << "";
    }
    void damagedStoreKeepsItsReaderButIsNotRemembered() {
        QFETCH(int, damage);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        QFETCH(QString, count);
        testsupport::TDbxOptions options;
        options.Damage.push_back({testsupport::TDbxDamageKind(damage), 2});
        QString damaged =
            WriteDbxFixture(dir_.path(), QStringLiteral("Damaged.dbx"), "Damaged", InboxMessages(), options);
        Open(damaged);
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].text, message);
        QVERIFY(window_->Reader() != nullptr);
        QCOMPARE(Detail(), QStringLiteral("  File Properties"));
        QCOMPARE(window_->windowTitle(), caption);
        QCOMPARE(window_->StatusText(0), count);
        QCOMPARE(window_->StatusText(1), message);
        QCOMPARE(Memo(), QStringLiteral("Format: Folder file, version 5/6"));
        QCOMPARE(Model()->rowCount(), 0);
        // The scan that was declined can be run from the menu.
        QVERIFY(Child<QAction>("mmDeletedMessages")->isEnabled());
        Trigger("mmDeletedMessages");
        QVERIFY(window_->ShowsScanResult());
        QTRY_VERIFY(!window_->ScanRunning());
        QVERIFY2(Model()->rowCount() > 0, qPrintable(RescueStatus() + window_->StatusText(1)));
        QVERIFY(window_->StatusText(1) != QStringLiteral("Loading..."));
        QVERIFY(window_->MRUList()->Items().isEmpty());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    // The subject keeps room for a readable text in a narrow window; a width the user gives a
    // column survives loading another store and the next run.
    void columnsKeepTheSubjectReadableAndTheUsersWidths() {
        const std::string longName(60, 'N');
        const QString wide = WriteDbxFixture(dir_.path(), QStringLiteral("Wide.dbx"), "Wide",
                                             {Message("A subject of some length to read", longName, "n@x.org")});
        window_->resize(640, 400);  // room for the subject once the sender gives way
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        Open(wide);
        QHeaderView* header = Tree()->header();
        const int charWidth = Tree()->fontMetrics().averageCharWidth();
        QVERIFY2(header->sectionSize(TMessageListModel::colSubject) >= 30 * charWidth,
                 qPrintable(QString::number(header->sectionSize(TMessageListModel::colSubject))));
        QVERIFY(header->sectionSize(TMessageListModel::colSender) >= 20 * charWidth);
        // The user drags the sender's right edge.
        const int edge = header->sectionViewportPosition(TMessageListModel::colSender) +
                         header->sectionSize(TMessageListModel::colSender) - 1;
        QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(edge, header->height() / 2));
        header->resizeSection(TMessageListModel::colSender, 77);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(edge, header->height() / 2));
        Open(storeB_);
        QCOMPARE(header->sectionSize(TMessageListModel::colSender), 77);
        window_->close();
        NewWindow();
        window_->show();
        Open(wide);
        QCOMPARE(Tree()->header()->sectionSize(TMessageListModel::colSender), 77);
    }

    // A store without messages is an empty folder, opened without complaint.
    void emptyStoreIsAFolderWithoutMessages() {
        const QString empty = WriteDbxFixture(dir_.path(), QStringLiteral("Outbox.dbx"), "Outbox", {});
        Open(storeA_);
        Open(empty);
        QCOMPARE(boxes_.size(), 0);
        QCOMPARE(scanOffers_, 0);
        QVERIFY(window_->Reader() != nullptr);
        QCOMPARE(Model()->rowCount(), 0);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Outbox]"));
        QCOMPARE(window_->StatusText(0), QStringLiteral("Count: 0"));
        QVERIFY(window_->StatusText(1) != QStringLiteral("Loading..."));
        QCOMPARE(window_->MRUList()->Items().front(), empty);
    }

    // The filter describes the list shown: another store starts unfiltered, a message that
    // the filter hides leaves the reading pane.
    void filterBelongsToTheListShown() {
        Trigger("mmReadingPane");
        Open(storeA_);
        auto* filter = Child<QLineEdit>("FilterBox");
        Tree()->setCurrentIndex(Model()->index(Subjects().indexOf(QStringLiteral("Gamma")), 0));
        QTRY_VERIFY(!window_->ReadingPane()->Busy());
        QTest::keyClicks(filter, QStringLiteral("gam"));
        QCOMPARE(Subjects(), QStringList{QStringLiteral("Gamma")});
        QVERIFY(Tree()->currentIndex().isValid());
        QVERIFY(window_->ReadingPane()->isVisibleTo(window_.get()));
        filter->setText(QStringLiteral("alpha"));
        QVERIFY(!Tree()->currentIndex().isValid());
        QVERIFY(!window_->ReadingPane()->isVisibleTo(window_.get()));
        QCOMPARE(window_->StatusText(0), QStringLiteral("Shown: 2 of 5"));
        Open(storeB_);
        QCOMPARE(filter->text(), QString());
        QCOMPARE(Model()->rowCount(), 2);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Count: 2"));
    }

    // Inbox with a deleted message of two blocks and an orphaned one after its five.
    QString WriteStoreWithLostMessages() {
        std::vector<TFixtureMessage> messages = InboxMessages();
        TFixtureMessage lost = Message("Lost one", "Dan", "dan@x.org");
        lost.Text = testsupport::MessageText({"Received: by x.org", "Subject: Lost one", "From: Dan <dan@x.org>"},
                                             std::string(700, 'x'));
        lost.DbxPresence = testsupport::TDbxPresence::Deleted;
        TFixtureMessage stray = Message("Stray one", "Eve", "eve@x.org");
        stray.DbxPresence = testsupport::TDbxPresence::Orphaned;
        messages.push_back(lost);
        messages.push_back(stray);
        return WriteDbxFixture(dir_.path(), QStringLiteral("Lost.dbx"), "Lost", messages);
    }
    QString RescueStatus() const { return Child<QLabel>("sbRescue")->text(); }

    // Found rows obey the filter box like the others, coming and going with the view.
    void filterAppliesToDeletedAndUnindexedRows() {
        Open(WriteStoreWithLostMessages());
        QTRY_VERIFY(!window_->ScanRunning());
        QTest::keyClicks(Child<QLineEdit>("FilterBox"), QStringLiteral("LOST"));
        QCOMPARE(Model()->rowCount(), 0);
        Trigger("mmDeletedMessages");
        QCOMPARE(Subjects(), QStringList{QStringLiteral("Lost one")});
        QCOMPARE(window_->StatusText(0), QStringLiteral("Shown: 1 of 7"));
        QVERIFY(Model()->IsFoundRow(0));
        Tree()->setCurrentIndex(Model()->index(0, 0));
        Trigger("mmMessageView");
        QCOMPARE(viewed_.size(), size_t(1));
        QVERIFY(viewed_.back().find("Subject: Lost one") != std::string::npos);
        Trigger("mmDeletedMessages");
        QCOMPARE(Model()->rowCount(), 0);
        Child<QLineEdit>("FilterBox")->clear();
        QCOMPARE(Model()->rowCount(), 5);
    }

    void deletedAndUnindexedMessagesJoinTheListOnRequest() {
        Open(WriteStoreWithLostMessages());
        QVERIFY(boxes_.isEmpty());
        QTRY_VERIFY(!window_->ScanRunning());
        QCOMPARE(RescueStatus(), QStringLiteral("2 deleted or unindexed messages found"));
        QVERIFY(!Child<QProgressBar>("sbProgress")->isVisibleTo(window_.get()));
        // Until the view is switched on the list is that of the index alone.
        ClickHeader(TMessageListModel::colSubject);
        const QStringList indexOnly = Subjects();
        QCOMPARE(indexOnly.size(), 5);
        QVERIFY(Child<QAction>("mmDeletedMessages")->isEnabled());

        Trigger("mmDeletedMessages");
        QCOMPARE(Model()->rowCount(), 7);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 7 / 0"));
        const int lostRow = Subjects().indexOf(QStringLiteral("Lost one"));
        const int strayRow = Subjects().indexOf(QStringLiteral("Stray one"));
        QVERIFY(lostRow >= 0 && strayRow >= 0);
        // Sorted like any other row: "Lost one" comes before "Re: Hello?".
        QVERIFY(lostRow < Subjects().indexOf(QStringLiteral("Re: Hello?")));
        // The first four bytes, lost, were the start of the Received line. The sender shows by
        // name, as an indexed one does.
        QCOMPARE(Cell(lostRow, TMessageListModel::colSender), QStringLiteral("Dan"));
        for (int row : {lostRow, strayRow}) {
            QVERIFY(Model()->index(row, TMessageListModel::colSubject).data(Qt::ForegroundRole).isValid());
            QCOMPARE(
                Model()->index(row, TMessageListModel::colSender).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                ListImage(kImageRecovered).cacheKey());
        }
        const int indexRow = Subjects().indexOf(QStringLiteral("Gamma"));
        QVERIFY(!Model()->index(indexRow, TMessageListModel::colSubject).data(Qt::ForegroundRole).isValid());

        // A freed block loses its first four text bytes to the link to the block before it.
        std::string expected = testsupport::MessageText(
            {"Received: by x.org", "Subject: Lost one", "From: Dan <dan@x.org>"}, std::string(700, 'x'));
        for (size_t block = 0; block < expected.size(); block += 512) expected.replace(block, 4, 4, ' ');
        Tree()->setCurrentIndex(Model()->index(lostRow, 0));
        Trigger("mmMessageView");
        QCOMPARE(viewed_.size(), size_t(1));
        QCOMPARE(viewed_.back(), expected);
        QCOMPARE(notices_.back(), QStringLiteral("Recovered from deleted space: 8 bytes are lost."));
        QVERIFY(lastViewed_.Recovered());
        QCOMPARE(lastViewed_.Kind(), TFoundKind::Deleted);
        Tree()->setCurrentIndex(Model()->index(indexRow, 0));
        Trigger("mmMessageView");
        QCOMPARE(notices_.back(), QString());
        QVERIFY(viewed_.back().find("Subject: Gamma") != std::string::npos);

        QTemporaryDir target;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString&) { return target.path(); };
        Tree()->selectionModel()->select(QItemSelection(Model()->index(lostRow, 0), Model()->index(lostRow, 6)),
                                         QItemSelectionModel::ClearAndSelect);
        Trigger("mmSaveAll");
        const QStringList names = QDir(target.path()).entryList(QDir::Files);
        QCOMPARE(names.size(), 1);
        QVERIFY2(names[0].startsWith(QStringLiteral("deleted_")) && names[0].endsWith(QStringLiteral("_Lost one.eml")),
                 qPrintable(names[0]));
        QVERIFY(ReadAll(target.filePath(names[0])).startsWith(QByteArray::fromStdString(expected)));

        Trigger("mmDeletedMessages");
        QCOMPARE(Subjects(), indexOnly);
        QCOMPARE(window_->StatusText(0), QStringLiteral("Total / Selected: 5 / 0"));

        // Another store forgets the scan; one without lost messages offers none.
        Open(storeB_);
        QTRY_VERIFY(!window_->ScanRunning());
        QCOMPARE(Model()->rowCount(), 2);
        QCOMPARE(RescueStatus(), QString());
        QVERIFY(!Child<QAction>("mmDeletedMessages")->isEnabled());
    }

    void closingTheWindowStopsTheScan() {
        window_->show();
        Open(WriteStoreWithLostMessages());
        QVERIFY(window_->ScanRunning());
        window_->close();
        QVERIFY(!window_->ScanRunning());
        QTest::qWait(50);
        QCOMPARE(RescueStatus(), QString());
        QVERIFY(!Child<QAction>("mmDeletedMessages")->isEnabled());
    }

    void storeThatFailsToOpenOffersAScanThatListsItsMessages_data() {
        QTest::addColumn<int>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("second magic") << int(testsupport::TDbxDamageKind::SecondMagic)
                                      << "Broken.dbx: File is not an Outlook Express 5 Message Database.";
        QTest::newRow("index node") << int(testsupport::TDbxDamageKind::NodeMarker)
                                    << "Broken.dbx: Wrong object marker.";
    }
    void storeThatFailsToOpenOffersAScanThatListsItsMessages() {
        QFETCH(int, damage);
        QFETCH(QString, message);
        testsupport::TDbxOptions options;
        options.Damage.push_back({testsupport::TDbxDamageKind(damage), 0});
        const QString damaged =
            WriteDbxFixture(dir_.path(), QStringLiteral("Broken.dbx"), "Broken", InboxMessages(), options);
        acceptScan_ = true;
        Open(damaged);
        QCOMPARE(scanOffers_, 1);
        QCOMPARE(boxes_.size(), 1);
        QCOMPARE(boxes_[0].text, message);
        QTRY_COMPARE(Model()->rowCount(), 5);
        QVERIFY(window_->ShowsScanResult());
        QVERIFY(window_->Reader() == nullptr);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Scan of Broken.dbx]"));
        QCOMPARE(RescueStatus(), QStringLiteral("Scan result: 5 messages found"));
        QCOMPARE(window_->StatusText(1), damaged);
        QStringList subjects = Subjects();
        QStringList written;
        for (const TFixtureMessage& m : InboxMessages()) written << QString::fromStdString(m.Subject);
        subjects.sort();
        written.sort();
        QCOMPARE(subjects, written);
        const int gamma = Subjects().indexOf(QStringLiteral("Gamma"));
        Tree()->setCurrentIndex(Model()->index(gamma, 0));
        QVERIFY(Memo().contains(QStringLiteral("Subject: Gamma")));
        Trigger("mmMessageView");
        QCOMPARE(viewed_.back(), InboxMessages()[3].Text);
        QVERIFY(window_->MRUList()->Items().isEmpty());
    }

    // View > Character Set: decided, chosen, remembered per store, shown in the status bar.
    void characterSetMenuReadsTheListInTheChosenCodePage() {
        TFixtureMessage russian = Message("\xCF\xF0\xE8\xE2\xE5\xF2", "Ann", "a@x.org");
        russian.Text = testsupport::MessageText({"From: Ann <a@x.org>", "Subject: =?utf-8?B?0J/RgNC40LLQtdGC?="}, "Hi");
        const QString store = WriteDbxFixture(dir_.path(), QStringLiteral("Cyrillic.dbx"), "Inbox", {russian});
        const QString cyrillic = QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
        QVERIFY(!Child<QMenu>("mmCharset")->isEnabled());
        Open(store);
        QVERIFY(Child<QMenu>("mmCharset")->isEnabled());
        QVERIFY(Child<QAction>("mmCharsetAuto")->isChecked());
        QCOMPARE(Cell(0, TMessageListModel::colSubject), cyrillic);
        QCOMPARE(Child<QLabel>("sbCodePage")->text(), QStringLiteral("Cyrillic (Windows-1251)"));

        Trigger("mmCharset1252");
        QCOMPARE(Cell(0, TMessageListModel::colSubject),
                 QString::fromUtf8("\xC3\x8F\xC3\xB0\xC3\xA8\xC3\xA2\xC3\xA5\xC3\xB2"));
        QCOMPARE(Child<QLabel>("sbCodePage")->text(), QStringLiteral("Western (Windows-1252)"));
        Open(storeA_);
        QVERIFY(Child<QAction>("mmCharsetAuto")->isChecked());
        Open(store);
        QVERIFY(Child<QAction>("mmCharset1252")->isChecked());
        QCOMPARE(Model()->CodePage(), std::string("windows-1252"));

        Trigger("mmCharsetAuto");
        QCOMPARE(Cell(0, TMessageListModel::colSubject), cyrillic);
        NewWindow();
        Open(store);
        QVERIFY(Child<QAction>("mmCharsetAuto")->isChecked());
    }

    void recentFilesAreMenuEntriesAndSettings() {
        Open(storeA_);
        Open(storeB_);
        QStringList captions;
        for (QAction* a : Child<QMenu>("File1")->actions())
            captions << (a->isSeparator() && a->text().isEmpty() ? QStringLiteral("-") : a->text());
        QCOMPARE(captions.mid(captions.size() - 3),
                 (QStringList{"-", QStringLiteral("&0 ") + storeB_, QStringLiteral("&1 ") + storeA_}));
        window_.reset();
        QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
        QCOMPARE(settings.value(QStringLiteral("1.x/Recent Files/File 0")).toString(), storeB_);
        QCOMPARE(settings.value(QStringLiteral("1.x/Recent Files/File 1")).toString(), storeA_);

        NewWindow();
        QAction* older = Child<QMenu>("File1")->actions().last();
        QCOMPARE(Tag(older), 1);
        older->trigger();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(window_->MRUList()->Items().front(), storeA_);
    }

    void openDialogFolderFollowsOnlyItsOwnChoice() {
        AppHooks().RunOpenDialog = [this](QWidget*, TOpenDialog& od) {
            od.FileName = storeA_;
            return true;
        };
        QCOMPARE(window_->OpenDialogState().InitialDir, QString());
        Trigger("mmOpen");
        QCOMPARE(window_->OpenDialogState().InitialDir, dir_.path() + u'/');
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
    }

    // Open, Save Selected and the export dialog's Browse... start, in the next run too, in the
    // folder that they were left in.
    void fileDialogsStartWhereTheyWereLeft_data() {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("open") << "open";
        QTest::newRow("save") << "save";
        QTest::newRow("export") << "export";
    }
    void fileDialogsStartWhereTheyWereLeft() {
        QFETCH(QString, dialog);
        QTemporaryDir chosen;
        QStringList starts;
        AppHooks().RunOpenDialog = [&](QWidget*, TOpenDialog& od) {
            starts << od.InitialDir;
            od.FileName = storeA_;
            return true;
        };
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString& start) {
            starts << start;
            return chosen.path();
        };
        AppHooks().AskReplace = [](QWidget*, const QString&, const QString&, bool) {
            return TReplaceChoice{TReplaceAnswer::KeepBoth, false};
        };
        AppHooks().RunModal = [](QDialog& shown) {
            if (auto* exportDialog = qobject_cast<TExportDialog*>(&shown))
                exportDialog->findChild<QPushButton*>(QStringLiteral("bBrowse"))->click();
        };
        for (int run = 0; run < 2; ++run) {
            NewWindow();
            if (dialog == "open") {
                Trigger("mmOpen");
                continue;
            }
            Open(storeA_);
            Tree()->selectionModel()->select(Model()->index(0, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
            Trigger(dialog == "save" ? "mmSaveAll" : "mmExport");
        }
        QCOMPARE(starts.size(), 2);
        QCOMPARE(starts[0], QString());
        QCOMPARE(starts[1], dialog == "open" ? dir_.path() + u'/' : chosen.path());
    }

    void firstArgumentIsOpenedWhenShown() {
        NewWindow({QStringLiteral("brindle"), storeB_, storeA_});
        window_->show();
        QTRY_COMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Sent Items]"));
        NewWindow({QStringLiteral("brindle"), dir_.filePath(QStringLiteral("nothing-here.dbx"))});
        window_->show();
        QTest::qWait(50);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle"));
        QVERIFY(boxes_.isEmpty());
    }

    void droppedStoreIsOpened() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(storeB_)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window_.get(), &drop);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Sent Items]"));

        QMimeData other;
        other.setUrls({QUrl::fromLocalFile(dir_.filePath(QStringLiteral("picture.png")))});
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &other, Qt::LeftButton, {});
        refused.ignore();
        QApplication::sendEvent(window_.get(), &refused);
        QVERIFY(!refused.isAccepted());
    }

    void positionIsSavedAndRestored() {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->setGeometry(30, 40, 640, 480);
        QTRY_COMPARE(window_->geometry(), QRect(30, 40, 640, 480));
        Trigger("mmExit");
        QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
        QCOMPARE(settings.value(QStringLiteral("1.x/Position/Left")).toInt(), 30);
        QCOMPARE(settings.value(QStringLiteral("1.x/Position/Width")).toInt(), 640);
        QCOMPARE(settings.value(QStringLiteral("1.x/Position/State")).toInt(), 0);
        NewWindow();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QCOMPARE(window_->geometry(), QRect(30, 40, 640, 480));
    }

    void aboutBoxAndAddressesGoThroughTheHooks() {
        QString shown;
        QList<QUrl> opened;
        AppHooks().RunModal = [&](QDialog& dialog) { shown = dialog.objectName(); };
        AppHooks().OpenUrl = [&](const QUrl& url) { opened << url; };
        Trigger("mmAbout");
        QCOMPARE(shown, QStringLiteral("dlgAbout"));
        Trigger("mmWWW");
        Trigger("mmEmail");
        QCOMPARE(opened, (QList<QUrl>{QUrl(TdlgAbout::HomepageAddress()),
                                      QUrl(QStringLiteral("mailto:") + TdlgAbout::ContactAddress())}));
        Open(storeA_);
        Trigger("mmFileProps");
        QCOMPARE(shown, QStringLiteral("dlgFileProperties"));
    }

    // The list asks only for the cells it paints.
    void paintingAsksOnlyForVisibleRows() {
        std::vector<TFixtureMessage> many;
        for (int i = 0; i < 2000; ++i) many.push_back(Message("Subject " + std::to_string(i), "Ann", "ann@x.org"));
        QString store = WriteDbxFixture(dir_.path(), QStringLiteral("Many.dbx"), "Many", many);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        Open(store);
        QCOMPARE(Model()->rowCount(), 2000);
        uint64_t before = Model()->DataCalls();
        Tree()->viewport()->repaint();
        uint64_t calls = Model()->DataCalls() - before;
        int visibleRows = Tree()->viewport()->height() / Tree()->sizeHintForRow(0) + 2;
        QVERIFY2(calls > 0, "nothing painted");
        QVERIFY2(calls <= uint64_t(visibleRows) * 7 * 12, qPrintable(QString::number(calls)));
        Tree()->verticalScrollBar()->setValue(1500);
        before = Model()->DataCalls();
        Tree()->viewport()->repaint();
        QVERIFY(Model()->DataCalls() - before <= uint64_t(visibleRows) * 7 * 12);
    }
};

int RunMainWindowTest(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
