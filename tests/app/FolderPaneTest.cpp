// The folder pane of a store folder and File > Export... in the main window.
#include "Base64Encode.h"
#include "app/AppHooks.h"
#include "app/ExportDialog.h"
#include "app/FolderPane.h"
#include "app/HealthDialog.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"
#include "app/UploadDialog.h"
#include "components/DefaultHandler.h"
#include "components/MRUList.h"
#include "tests/app/WindowFixtures.h"
#include "tests/components/TestSettings.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace brindle;
using namespace brindle::test;

namespace {

constexpr uint32_t kTop = 0xFFFFFFFF;

// Entries of an mbox file: lines that start with "From " at its start or after an empty line.
int MboxEntries(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    int entries = 0;
    bool afterEmpty = true;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (afterEmpty && line.startsWith("From ")) ++entries;
        afterEmpty = line.isEmpty();
    }
    return entries;
}

}  // namespace

class FolderPaneTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString storeFolder_;  // Inbox (5, 2 unread) > Broken; Sent Items (2); Archive (no store file)
    QString singleStore_;
    std::unique_ptr<Twnd_oe_Main> window_;
    QStringList boxes_;
    int scanOffers_ = 0;
    std::function<void(TExportDialog&)> driveExport_;
    std::function<void(TUploadDialog&)> driveUpload_;
    std::function<void(THealthDialog&)> driveHealth_;

    TFolderPane* Pane() const { return window_->FolderPane(); }
    int Rows() const { return window_->ListModel()->rowCount(); }
    QString Caption(int node) const { return Pane()->IndexOfNode(node).data().toString(); }
    bool Bold(int node) const { return Pane()->IndexOfNode(node).data(Qt::FontRole).value<QFont>().bold(); }
    void Open(const QString& path) {
        RunGuarded([&] { window_->LoadFile(path); }, window_.get());
    }
    void NewWindow(const QStringList& arguments = {QStringLiteral("brindle")}) {
        window_.reset();
        window_ = std::make_unique<Twnd_oe_Main>(arguments);
    }
    void DropFolder() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(storeFolder_)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window_.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(window_.get(), &drop);
    }

private slots:
    void initTestCase() {
        storeFolder_ = dir_.filePath(QStringLiteral("Store"));
        QVERIFY(QDir().mkpath(storeFolder_));
        const std::string folder = QFile::encodeName(storeFolder_).toStdString();
        testsupport::WriteFolderList(folder + "/Folders.dbx", {
                                                                  {1, kTop, "Inbox", "Inbox.dbx", 0, 5, 2, 1},
                                                                  {2, 1, "Broken", "Broken.dbx"},
                                                                  {3, kTop, "Sent Items", "Sent Items.dbx", 0, 2, 0, 3},
                                                                  {4, kTop, "Archive", ""},
                                                              });
        WriteDbxFixture(storeFolder_, QStringLiteral("Inbox.dbx"), "Inbox", InboxMessages());
        WriteDbxFixture(storeFolder_, QStringLiteral("Sent Items.dbx"), "Sent Items",
                        {Message("Sent one", "Zed", "z@x.org"), Message("Sent two", "Amy", "a@x.org")});
        // The root of the index tree does not carry its offset: the store cannot be opened,
        // but its one message is intact.
        testsupport::TDbxOptions damaged;
        damaged.Damage = {{testsupport::TDbxDamageKind::NodeMarker, 0}};
        WriteDbxFixture(storeFolder_, QStringLiteral("Broken.dbx"), "Broken", {Message("Lost one", "Bo", "b@x.org")},
                        damaged);
        singleStore_ =
            WriteDbxFixture(dir_.path(), QStringLiteral("Single.dbx"), "Single", {Message("Alone", "Cy", "c@x.org")});
    }

    void init() {
        TTestSettings::Clear();
        boxes_.clear();
        scanOffers_ = 0;
        driveExport_ = nullptr;
        driveUpload_ = nullptr;
        driveHealth_ = nullptr;
        SetMessageBoxPresenter([this](QWidget*, const QString&, const QString& text) { boxes_.append(text); });
        AppHooks().OfferScan = [this](QWidget*, const QString&, const QString&) {
            ++scanOffers_;
            return false;
        };
        AppHooks().ShowMessageView = [](const TMessageHandle&, QWidget*, const TMessageStep&) {};
        AppHooks().RunModal = [this](QDialog& dialog) {
            if (auto* uploadDialog = qobject_cast<TUploadDialog*>(&dialog)) {
                QVERIFY(driveUpload_);
                driveUpload_(*uploadDialog);
                return;
            }
            if (auto* health = qobject_cast<THealthDialog*>(&dialog)) {
                QVERIFY(driveHealth_);
                driveHealth_(*health);
                return;
            }
            auto* exportDialog = qobject_cast<TExportDialog*>(&dialog);
            QVERIFY(exportDialog);
            if (driveExport_) driveExport_(*exportDialog);
        };
        AppHooks().BrowseForFolder = [this](QWidget*, const QString&, const QString&) { return storeFolder_; };
        NewWindow();
    }

    void cleanup() {
        window_.reset();
        SetMessageBoxPresenter(nullptr);
        ResetAppHooks();
    }

    void everyWayOfOpeningShowsTheTreeAndOpensTheInbox_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder") << "folder";
        QTest::newRow("Folders.dbx") << "Folders.dbx";
        QTest::newRow("FOLDERS.DBX") << "FOLDERS.DBX";
        QTest::newRow("menu") << "menu";
        QTest::newRow("drop") << "drop";
        QTest::newRow("argument") << "argument";
    }
    void everyWayOfOpeningShowsTheTreeAndOpensTheInbox() {
        QFETCH(QString, how);
        if (how == "folder" || how.compare(u"Folders.dbx", Qt::CaseInsensitive) == 0)
            Open(how == "folder" ? storeFolder_ : storeFolder_ + u'/' + how);
        else if (how == "menu")
            window_->findChild<QAction*>(QStringLiteral("mmOpenStoreFolder"))->trigger();
        else if (how == "drop")
            DropFolder();
        else {
            NewWindow({QStringLiteral("brindle"), storeFolder_});
            window_->show();
        }
        QTRY_VERIFY(Pane()->Folder() != nullptr);
        QVERIFY(!Pane()->isHidden());
        QVERIFY(boxes_.isEmpty());
        QCOMPARE(Pane()->Folder()->Nodes.size(), size_t{4});
        const QStringList captions = {Caption(0), Caption(1), Caption(2), Caption(3)};
        QCOMPARE(captions, (QStringList{"Inbox (2)", "Broken", "Sent Items", "Archive"}));
        QCOMPARE(Pane()->IndexOfNode(1).parent(), Pane()->IndexOfNode(0));
        QCOMPARE(Pane()->IndexOfNode(0, TFolderPane::colCount).data().toString(), QStringLiteral("5"));
        QCOMPARE(Pane()->IndexOfNode(2, TFolderPane::colCount).data().toString(), QStringLiteral("2"));
        QVERIFY(Bold(0));
        QVERIFY(!Bold(2));
        QCOMPARE(Pane()->CurrentNode(), 0);
        QCOMPARE(Rows(), 5);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
    }

    // Without a folder list the status bar says so, as a note beside no warning; each store
    // opened tells its unread count, and the pane is wide enough for its names.
    void folderWithoutAListTellsItAndCountsUnreadMail() {
        QTemporaryDir loose;
        const QString longName = QStringLiteral("Letters from the regional office");
        WriteDbxFixture(loose.path(), QStringLiteral("Alpha.dbx"), "Alpha", InboxMessages());  // 1 unread
        WriteDbxFixture(loose.path(), longName + QStringLiteral(".dbx"), "Long",
                        {Message("Read one", "Zed", "z@x.org")});
        WriteDbxFixture(loose.path(), QStringLiteral("Zulu.dbx"), "Zulu", InboxMessages());  // 1 unread
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        Open(loose.path());
        QVERIFY(boxes_.isEmpty());
        auto* note = window_->findChild<QLabel*>(QStringLiteral("sbFolderNote"));
        QVERIFY(note);
        QVERIFY2(note->text().contains(QStringLiteral("No folder list")), qPrintable(note->text()));
        QCOMPARE(window_->findChild<QLabel*>(QStringLiteral("sbWarnings"))->text(), QString());
        QCOMPARE(Caption(0), QStringLiteral("Alpha (1)"));
        QVERIFY(Bold(0));
        // The stores that were not opened are counted off the GUI thread.
        QTRY_COMPARE(Caption(2), QStringLiteral("Zulu (1)"));
        QVERIFY(Bold(2));
        QCOMPARE(Caption(1), longName);  // all read
        Pane()->SelectNode(1);
        QCOMPARE(Caption(1), longName);
        QVERIFY(!Bold(1));
        const int needed = static_cast<QAbstractItemView*>(Pane())->sizeHintForColumn(TFolderPane::colName);
        QVERIFY2(Pane()->header()->sectionSize(TFolderPane::colName) >= needed,
                 qPrintable(QStringLiteral("%1 < %2, pane %3")
                                .arg(Pane()->header()->sectionSize(TFolderPane::colName))
                                .arg(needed)
                                .arg(Pane()->width())));
        QVERIFY(Pane()->IndexOfNode(1).data(Qt::ToolTipRole).toString().contains(longName));

        Open(storeFolder_);
        QCOMPARE(note->text(), QString());
        QCOMPARE(Caption(0), QStringLiteral("Inbox (2)"));  // as the folder list tells it
    }

    void selectingFoldersFillsClearsOrTellsTheError() {
        Open(storeFolder_);
        Pane()->SelectNode(2);
        QCOMPARE(Rows(), 2);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Sent Items]"));
        QVERIFY(window_->ScanRunning() || window_->Rescue());

        Pane()->SelectNode(3);
        QCOMPARE(Rows(), 0);
        QVERIFY(!window_->Reader());
        // The title names the folder shown, also one without a store file.
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Archive]"));
        // The Character Set menu let go of the store's reader with it.
        QVERIFY(!window_->findChild<QMenu*>(QStringLiteral("mmCharset"))->isEnabled());

        Pane()->SelectNode(1);
        QVERIFY(boxes_.isEmpty());
        QCOMPARE(scanOffers_, 0);
        const QString error = Pane()->NodeError(1);
        QVERIFY(!error.isEmpty());
        QCOMPARE(Pane()->IndexOfNode(1).data(Qt::ToolTipRole).toString(), error);
        QVERIFY(window_->StatusText(1).startsWith(error));
        QVERIFY(error.startsWith(QStringLiteral("Broken.dbx: ")));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Broken]"));
        QCOMPARE(window_->StatusText(0), QString());
        QVERIFY(window_->findChild<QAction*>(QStringLiteral("mmDeletedMessages"))->isEnabled());
        QCOMPARE(Rows(), 0);
        // Asked for once more, the failing folder offers the scan of its file.
        emit Pane()->activated(Pane()->IndexOfNode(1));
        QCOMPARE(scanOffers_, 1);
        QVERIFY(Pane()->NodeError(0).isEmpty());

        Pane()->SelectNode(0);
        QCOMPARE(Rows(), 5);
        // Only the store folder is remembered, not the stores of its folders.
        QCOMPARE(window_->MRUList()->Items(), QStringList{storeFolder_});
    }

    // Tab walks folder pane, filter box and list, Shift+Tab walks back; the commands a user
    // reaches often have keys.
    void keyboardReachesPanesAndCommands() {
        Open(storeFolder_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QWidget* filter = window_->findChild<QWidget*>(QStringLiteral("FilterBox"));
        QWidget* list = window_->findChild<QWidget*>(QStringLiteral("Tree"));
        Pane()->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Pane()));
        const QList<QWidget*> forward = {filter, list};
        for (QWidget* next : forward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QTest::keyClick(list, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), filter);
        QTest::keyClick(filter, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Pane()));
        const std::pair<const char*, QKeySequence> keys[] = {
            {"mmExit", QKeySequence(Qt::CTRL | Qt::Key_Q)},
            {"mmOpenStoreFolder", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)},
            {"mmOpen", QKeySequence(Qt::CTRL | Qt::Key_O)},
        };
        for (const auto& [name, key] : keys)
            QCOMPARE(window_->findChild<QAction*>(QLatin1String(name))->shortcut(), key);
        auto* readingPane = window_->findChild<QAction*>(QStringLiteral("mmReadingPane"));
        QVERIFY(!readingPane->shortcut().isEmpty());
        const bool before = readingPane->isChecked();
        QTest::keySequence(window_.get(), readingPane->shortcut());
        QCOMPARE(readingPane->isChecked(), !before);
        // Every entry of View > Character Set above its list of code pages has a mnemonic.
        auto* charset = window_->findChild<QMenu*>(QStringLiteral("mmCharset"));
        QVERIFY(charset->title().contains(u'&'));
        QVERIFY(window_->findChild<QAction*>(QStringLiteral("mmCharsetAuto"))->text().contains(u'&'));
        QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QTRY_VERIFY(!window_->isVisible());
    }

    // Special folders come first in the usual order, the others by name; a folder without a
    // store file says so in its tip.
    void specialFoldersComeFirstAndMissingFilesHaveATip() {
        const QString folder = dir_.filePath(QStringLiteral("Ordered"));
        QVERIFY(QDir().mkpath(folder));
        testsupport::WriteFolderList(QFile::encodeName(folder).toStdString() + "/Folders.dbx",
                                     {
                                         {1, kTop, "zeta", "", 0, 0, 0, 0},
                                         {2, kTop, "Drafts", "", 0, 0, 0, 5},
                                         {3, kTop, "Alpha", "", 0, 0, 0, 0},
                                         {4, kTop, "Sent Items", "", 0, 0, 0, 3},
                                         {5, kTop, "Inbox", "Inbox.dbx", 0, 5, 2, 1},
                                         {6, kTop, "Deleted Items", "", 0, 0, 0, 4},
                                         {7, kTop, "Outbox", "", 0, 0, 0, 2},
                                     });
        WriteDbxFixture(folder, QStringLiteral("Inbox.dbx"), "Inbox", InboxMessages());
        Open(folder);
        QStringList shown;
        auto* model = Pane()->model();
        for (int row = 0; row < model->rowCount(); ++row) shown << model->index(row, 0).data().toString();
        QCOMPARE(shown, (QStringList{"Inbox (2)", "Outbox", "Sent Items", "Deleted Items", "Drafts", "Alpha", "zeta"}));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Brindle - [Inbox]"));
        QCOMPARE(Rows(), 5);
        for (int row = 1; row < model->rowCount(); ++row)
            QVERIFY2(model->index(row, 0).data(Qt::ToolTipRole).toString().endsWith(
                         QStringLiteral("this folder has no store file")),
                     qPrintable(shown[row]));
        QVERIFY(model->index(0, 0).data(Qt::ToolTipRole).toString().contains(QStringLiteral("Inbox.dbx")));
    }

    void singleFileHidesThePaneAndTheRecentListReopensTheFolder() {
        Open(storeFolder_);
        Open(singleStore_);
        QVERIFY(Pane()->isHidden());
        QVERIFY(!Pane()->Folder());
        QCOMPARE(Rows(), 1);
        QCOMPARE(window_->MRUList()->Items(), (QStringList{singleStore_, storeFolder_}));

        NewWindow();
        QAction* older = window_->findChild<QMenu*>(QStringLiteral("File1"))->actions().last();
        older->trigger();
        QVERIFY(Pane()->Folder() != nullptr);
        QVERIFY(!Pane()->isHidden());
        QCOMPARE(Rows(), 5);
        QCOMPARE(window_->MRUList()->Items().front(), storeFolder_);
    }

    // Folder names follow the code page chosen for the store folder, which is remembered for it.
    void chosenCodePageRenamesTheFoldersAndIsRemembered() {
        const QString folder = dir_.filePath(QStringLiteral("Cyrillic"));
        QVERIFY(QDir().mkpath(folder));
        const std::string mail = "\xCF\xEE\xF7\xF2\xE0";  // "Почта" in Windows-1251
        testsupport::WriteFolderList(QFile::encodeName(folder).toStdString() + "/Folders.dbx",
                                     {{1, kTop, mail, "Mail.dbx"}});
        WriteDbxFixture(folder, QStringLiteral("Mail.dbx"), mail, {Message("One", "Ann", "a@x.org")});
        const QString cyrillic = QStringLiteral("Почта");
        Open(folder);
        QVERIFY(Caption(0).startsWith(cyrillic));
        window_->findChild<QAction*>(QStringLiteral("mmCharset1252"))->trigger();
        QVERIFY(!Caption(0).startsWith(cyrillic));
        QCOMPARE(Rows(), 1);
        NewWindow();
        Open(folder);
        QVERIFY(!Caption(0).startsWith(cyrillic));
        window_->findChild<QAction*>(QStringLiteral("mmCharsetAuto"))->trigger();
        QVERIFY(Caption(0).startsWith(cyrillic));
    }

    void exportDialogWritesTheStoreFolderAsMbox() {
        QTemporaryDir out;
        QString summary;
        QStringList reports;
        driveExport_ = [&](TExportDialog& dialog) {
            QVERIFY(dialog.ScopeAvailable(TExportDialog::TScope::StoreFolder));
            QCOMPARE(dialog.Scope(), TExportDialog::TScope::StoreFolder);
            dialog.SetFormat(TExportFormat::Mbox);
            dialog.SetTarget(out.path());
            QVERIFY(dialog.Start());
            dialog.Wait();
            summary = dialog.SummaryText();
            reports = dialog.Reports();
        };
        Open(storeFolder_);
        window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
        QCOMPARE(summary, QStringLiteral("4 folders, 8 messages, 0 errors, 1 recovered by scan"));
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].startsWith(QStringLiteral("Inbox/Broken: recovered by scan, 1 message")),
                 qPrintable(reports[0]));
        QCOMPARE(MboxEntries(out.filePath(QStringLiteral("Inbox"))), 5);
        QCOMPARE(MboxEntries(out.filePath(QStringLiteral("Inbox.sbd/Broken"))), 1);
        QCOMPARE(MboxEntries(out.filePath(QStringLiteral("Sent Items"))), 2);
        QCOMPARE(MboxEntries(out.filePath(QStringLiteral("Archive"))), 0);
    }

    void exportDialogSavesAttachmentsOnly() {
        const QString folder = dir_.filePath(QStringLiteral("withAttachments"));
        QDir().mkpath(folder);
        const std::string content = "report body\x01\x02";
        TFixtureMessage mail = Message("Report", "Ann", "a@x.org");
        mail.Text = testsupport::MessageText(
            {"From: a@x.org", "Subject: Report", "Content-Type: multipart/mixed; boundary=\"b\""},
            "--b\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n--b\r\nContent-Type: application/octet-stream\r\n"
            "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"report.bin\"\r\n\r\n" +
                testsupport::Base64Lines(content, "\r\n") + "--b--\r\n");
        const QString store = WriteDbxFixture(folder, QStringLiteral("Reports.dbx"), "Reports", {mail, mail});
        QTemporaryDir out;
        QString summary;
        driveExport_ = [&](TExportDialog& dialog) {
            dialog.SetScope(TExportDialog::TScope::Folder);
            dialog.SetAttachmentsOnly();
            dialog.SetTarget(out.path());
            QVERIFY(dialog.Start());
            dialog.Wait();
            summary = dialog.SummaryText();
        };
        Open(store);
        window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
        QCOMPARE(summary, QStringLiteral("2 attachments of 1 folder, 2 messages, 0 errors"));
        const QStringList files = QDir(out.filePath(QStringLiteral("Reports"))).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{"report (2).bin", "report.bin"}));
        QFile saved(out.filePath(QStringLiteral("Reports/report.bin")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll().toStdString(), content);
    }

    void exportDialogLeavesOutCopiesWhenAsked() {
        QTemporaryDir stores;
        const QString path = WriteDbxFixture(stores.path(), QStringLiteral("Copies.dbx"), "Copies",
                                             {Message("Once", "Ann", "a@x.org"), Message("Twice", "Bo", "b@x.org"),
                                              Message("Twice", "Bo", "b@x.org")});
        for (bool skip : {false, true}) {
            QTemporaryDir out;
            QString summary;
            QStringList reports;
            driveExport_ = [&](TExportDialog& dialog) {
                dialog.SetFormat(TExportFormat::Mbox);
                dialog.SetTarget(out.path());
                dialog.SetSkipDuplicates(skip);
                QVERIFY(dialog.Start());
                dialog.Wait();
                summary = dialog.SummaryText();
                reports = dialog.Reports();
            };
            Open(path);
            window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
            QCOMPARE(summary, skip ? QStringLiteral("1 folder, 2 messages, 0 errors, 1 duplicate skipped")
                                   : QStringLiteral("1 folder, 3 messages, 0 errors"));
            QCOMPARE(reports.size(), skip ? 1 : 0);
            if (skip) QVERIFY2(reports[0].contains(QStringLiteral("1 copy left out")), qPrintable(reports[0]));
        }
    }

    // A target that is not there is made, every missing level, once the user agrees; Browse...
    // starts at the nearest folder of the typed path that is there.
    void exportDialogMakesAMissingTargetWhenAsked_data() {
        QTest::addColumn<bool>("agree");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void exportDialogMakesAMissingTargetWhenAsked() {
        QFETCH(bool, agree);
        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("made/deeper"));
        QStringList questions;
        AppHooks().AskYesNo = [&](QWidget*, const QString&, const QString& question) {
            questions << question;
            return agree;
        };
        QString browsedFrom;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString&, const QString& start) {
            browsedFrom = start;
            return QString();
        };
        bool started = false;
        QString summary;
        driveExport_ = [&](TExportDialog& dialog) {
            dialog.SetFormat(TExportFormat::Eml);
            dialog.SetTarget(target);
            dialog.findChild<QPushButton*>(QStringLiteral("bBrowse"))->click();
            started = dialog.Start();
            dialog.Wait();
            summary = dialog.SummaryText();
        };
        Open(singleStore_);
        window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
        QCOMPARE(browsedFrom, out.path());
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].contains(target), qPrintable(questions[0]));
        QCOMPARE(started, agree);
        QCOMPARE(QFileInfo(target).isDir(), agree);
        if (agree) {
            QCOMPARE(summary, QStringLiteral("1 folder, 1 message, 0 errors"));
            QCOMPARE(QDir(target + QStringLiteral("/Single")).entryList(QDir::Files).size(), 1);
        } else {
            QVERIFY(!QFileInfo::exists(out.filePath(QStringLiteral("made"))));
        }
    }

    void healthDialogShowsEveryStoreAndSavesItsReport() {
        QTemporaryDir out;
        QStringList verdicts;
        bool saved = false, savedAgain = true;
        QString reportPath = out.filePath(QStringLiteral("health.txt"));
        driveHealth_ = [&](THealthDialog& dialog) {
            dialog.Wait();
            QVERIFY(dialog.Done());
            const QTableWidget* table = dialog.Table();
            for (int row = 0; row < table->rowCount(); ++row)
                verdicts << table->item(row, 0)->text() + QStringLiteral(": ") +
                                table->item(row, table->columnCount() - 1)->text();
            saved = dialog.SaveReport(reportPath);
            savedAgain = dialog.SaveReport(reportPath);  // never over the file written
        };
        Open(storeFolder_);
        window_->findChild<QAction*>(QStringLiteral("mmHealth"))->trigger();
        QCOMPARE(verdicts.size(), 3);
        QVERIFY2(verdicts.filter(QStringLiteral("Inbox: healthy")).size() == 1, qPrintable(verdicts.join(u'|')));
        QVERIFY2(verdicts.filter(QStringLiteral("Inbox/Broken: index cannot be read")).size() == 1,
                 qPrintable(verdicts.join(u'|')));
        QVERIFY(saved);
        QVERIFY(!savedAgain);
        QFile report(reportPath);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        QVERIFY(text.contains("Inbox/Broken\tBroken.dbx"));
        QVERIFY(!text.contains("Listed but missing"));  // a folder without a store file is none
    }

    void exportDialogWritesTheSelectedMessagesOnly() {
        QTemporaryDir out;
        QString summary;
        driveExport_ = [&](TExportDialog& dialog) {
            QVERIFY(!dialog.ScopeAvailable(TExportDialog::TScope::StoreFolder));
            QVERIFY(!dialog.Start());  // no target yet
            dialog.SetScope(TExportDialog::TScope::Selected);
            dialog.SetFormat(TExportFormat::Eml);
            dialog.SetTarget(out.path());
            QVERIFY(dialog.Start());
            dialog.Wait();
            summary = dialog.SummaryText();
        };
        Open(storeFolder_ + QStringLiteral("/Inbox.dbx"));
        QVERIFY(Pane()->isHidden());
        auto* list = window_->findChild<QTreeView*>(QStringLiteral("Tree"));
        list->selectionModel()->select(
            QItemSelection(window_->ListModel()->index(1, 0), window_->ListModel()->index(2, 6)),
            QItemSelectionModel::Select);
        window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
        QCOMPARE(summary, QStringLiteral("1 folder, 2 messages, 0 errors"));
        const QStringList files = QDir(out.filePath(QStringLiteral("Inbox"))).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, (QStringList{"0001_Alpha.eml", "0002_alpha.eml"}));
    }

    // File > Upload to Mail Account... offers what Export offers: the selected rows of the open
    // store, the store, and the store folder only when one is open.
    void uploadOffersTheWindowsMessages() {
        struct TSeen {
            bool Selected = false, Folder = false, StoreFolder = false;
            QString SelectedCaption;
        };
        TSeen seen;
        int shown = 0;
        driveUpload_ = [&](TUploadDialog& dialog) {
            ++shown;
            seen.Selected = dialog.ScopeAvailable(TUploadDialog::TScope::Selected);
            seen.Folder = dialog.ScopeAvailable(TUploadDialog::TScope::Folder);
            seen.StoreFolder = dialog.ScopeAvailable(TUploadDialog::TScope::StoreFolder);
            seen.SelectedCaption = dialog.findChild<QRadioButton*>(QStringLiteral("rbSelected"))->text();
        };
        QAction* upload = window_->findChild<QAction*>(QStringLiteral("mmUpload"));
        QVERIFY(upload);
        QVERIFY(!upload->isEnabled());
        Open(storeFolder_ + QStringLiteral("/Inbox.dbx"));
        QVERIFY(upload->isEnabled());
        auto* list = window_->findChild<QTreeView*>(QStringLiteral("Tree"));
        list->selectionModel()->select(
            QItemSelection(window_->ListModel()->index(1, 0), window_->ListModel()->index(2, 6)),
            QItemSelectionModel::Select);
        upload->trigger();
        QCOMPARE(shown, 1);
        QVERIFY(seen.Selected && seen.Folder && !seen.StoreFolder);
        QVERIFY2(seen.SelectedCaption.contains(QStringLiteral("(2)")), qPrintable(seen.SelectedCaption));

        Open(storeFolder_);
        upload->trigger();
        QCOMPARE(shown, 2);
        QVERIFY(seen.StoreFolder);
    }

    // Real stores without a folder list stand at the top, with the counts that their sources
    // tell (corpus README), and every message reaches the mbox files.
    void corpusStoresOpenAsAFolderAndExport() {
        const QString corpus = QStringLiteral(BRINDLE_CORPUS "/dbx");
        if (!QFileInfo(corpus).isDir()) QSKIP(qPrintable(QStringLiteral("corpus not present at %1").arg(corpus)));
        QTemporaryDir out;
        QString summary;
        driveExport_ = [&](TExportDialog& dialog) {
            dialog.SetFormat(TExportFormat::Mbox);
            dialog.SetTarget(out.path());
            QVERIFY(dialog.Start());
            dialog.Wait();
            summary = dialog.SummaryText();
        };
        Open(corpus);
        QVERIFY(boxes_.isEmpty());
        int counted = 0;
        for (int node = 0; node < int(Pane()->Folder()->Nodes.size()); ++node)
            counted += Pane()->IndexOfNode(node, TFolderPane::colCount).data().toInt();
        QCOMPARE(counted, 28 + 1 + 1 + 2);
        window_->findChild<QAction*>(QStringLiteral("mmExport"))->trigger();
        QCOMPARE(summary, QStringLiteral("4 folders, 32 messages, 0 errors"));
        QCOMPARE(MboxEntries(out.filePath(QStringLiteral("iped_test_OutlookDBX"))), 28);
    }
};

int RunFolderPaneTest(int argc, char** argv) {
    FolderPaneTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FolderPaneTest.moc"
