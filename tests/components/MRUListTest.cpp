#include "components/MRUList.h"

#include "components/MenuTag.h"
#include "tests/components/TestSettings.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace brindle;
using brindle::test::TTestSettings;

namespace {

const QString kGroup = QStringLiteral("1.x/Recent Files");

QSettings ProgramSettings() { return QSettings(QStringLiteral("Korvane"), QStringLiteral("Brindle")); }

void WriteStoredList(const QStringList& names, const QStringList& values) {
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
    settings.beginGroup(kGroup);
    for (int i = 0; i < names.size(); ++i) settings.setValue(names[i], values[i]);
}

QStringList StoredValueNames() {
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
    settings.beginGroup(kGroup);
    QStringList names = settings.childKeys();
    names.sort();
    return names;
}

QString StoredValue(const QString& name) {
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
    settings.beginGroup(kGroup);
    return settings.value(name).toString();
}

std::unique_ptr<Korvane_MRUList> ProgramList() {
    auto list = std::make_unique<Korvane_MRUList>();
    list->SetApplication(QStringLiteral("Brindle"));
    list->SetManufacturer(QStringLiteral("Korvane"));
    list->SetVersion(QStringLiteral("1.x"));
    return list;
}

// A window with a File menu holding Open... and Exit, like the main window's.
struct TMenuWindow {
    QMainWindow window;
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("File"));
    TMenuWindow() {
        file->addAction(QStringLiteral("Open..."));
        file->addAction(QStringLiteral("Exit"));
    }
    QStringList Captions() const {
        QStringList captions;
        for (QAction* a : file->actions()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return captions;
    }
};

}  // namespace

class MRUListTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TTestSettings::Clear(); }

    void registryKeyNamesTheThreeParts() {
        auto list = ProgramList();
        QCOMPARE(list->GetRegistryKey(), QStringLiteral("SOFTWARE\\Korvane\\Brindle\\1.x\\Recent Files"));
    }

    // C1: where file systems distinguish case, a lower-cased path would name another file.
    void caseSensitiveNamesKeepTheirCaseAndStayApart() {
        auto list = ProgramList();
        list->SetCaseSensitiveFileNames(true);
        list->AddFile(QStringLiteral("/mail/Inbox.dbx"));
        list->AddFile(QStringLiteral("/mail/inbox.dbx"));
        list->AddFile(QStringLiteral("/mail/Inbox.dbx"));
        QCOMPARE(list->Items(), (QStringList{"/mail/Inbox.dbx", "/mail/inbox.dbx"}));
    }

    void caseInsensitiveNamesAreLowerCasedAndMerged() {
        auto list = ProgramList();
        list->SetCaseSensitiveFileNames(false);
        list->AddFile(QStringLiteral("C:\\Mail\\Inbox.dbx"));
        list->AddFile(QStringLiteral("C:\\Mail\\Sent.DBX"));
        list->AddFile(QStringLiteral("C:\\MAIL\\INBOX.dbx"));
        QCOMPARE(list->Items(), (QStringList{"c:\\mail\\inbox.dbx", "c:\\mail\\sent.dbx"}));
    }

    void sixthFileDropsTheOldestAndOnlyFiveAreSaved() {
        {
            auto list = ProgramList();
            for (int i = 1; i <= 6; ++i) list->AddFile(QStringLiteral("/m/%1.dbx").arg(i));
            QCOMPARE(list->Items().size(), 5);
            QCOMPARE(list->Items().front(), QStringLiteral("/m/6.dbx"));
            QCOMPARE(list->Items().back(), QStringLiteral("/m/2.dbx"));
            QVERIFY(StoredValueNames().isEmpty());  // written only at destruction
        }
        QCOMPARE(StoredValueNames(), (QStringList{"File 0", "File 1", "File 2", "File 3", "File 4"}));
        QCOMPARE(StoredValue(QStringLiteral("File 0")), QStringLiteral("/m/6.dbx"));
        QCOMPARE(StoredValue(QStringLiteral("File 4")), QStringLiteral("/m/2.dbx"));
    }

    void longerStoredListIsReadInNumberOrderUntilAddFileCutsIt() {
        QStringList names, values;
        for (int i = 11; i >= 0; --i) {
            names << QStringLiteral("File %1").arg(i);
            values << QStringLiteral("/m/%1.dbx").arg(i);
        }
        WriteStoredList(names, values);
        {
            auto list = ProgramList();
            QCOMPARE(list->Items().size(), 12);
            QCOMPARE(list->Items()[2], QStringLiteral("/m/2.dbx"));
            QCOMPARE(list->Items()[10], QStringLiteral("/m/10.dbx"));
            list->AddFile(QStringLiteral("/m/new.dbx"));
            QCOMPARE(list->Items(), (QStringList{"/m/new.dbx", "/m/0.dbx", "/m/1.dbx", "/m/2.dbx", "/m/3.dbx"}));
        }
        QCOMPARE(StoredValueNames().size(), 5);
        auto reread = ProgramList();
        QCOMPARE(reread->Items().size(), 5);
    }

    void valueThatIsNotATextIsSkipped() {
        QSettings settings = ProgramSettings();
        settings.setValue(kGroup + QStringLiteral("/File 0"), QStringList{"a", "b"});
        settings.setValue(kGroup + QStringLiteral("/File 1"), QStringLiteral("/m/x.dbx"));
        settings.sync();
        auto list = ProgramList();
        QCOMPARE(list->Items(), QStringList{"/m/x.dbx"});
    }

    void listEmptyAtExitDeletesTheKey() {
        QSettings settings = ProgramSettings();
        settings.setValue(kGroup + QStringLiteral("/Odd"), QStringList{"a", "b"});
        settings.sync();
        {
            auto list = ProgramList();
            QVERIFY(list->Items().isEmpty());
        }
        QVERIFY(StoredValueNames().isEmpty());
    }

    void withoutManufacturerNothingIsReadOrWritten() {
        WriteStoredList({"File 0"}, {"/m/kept.dbx"});
        {
            Korvane_MRUList list;
            list.SetApplication(QStringLiteral("Brindle"));
            list.SetVersion(QStringLiteral("1.x"));
            QVERIFY(list.Items().isEmpty());
            list.AddFile(QStringLiteral("/m/other.dbx"));
        }
        QCOMPARE(StoredValue(QStringLiteral("File 0")), QStringLiteral("/m/kept.dbx"));
    }

    void changingTheKeySavesUnderTheOldOneAndReadsTheNewOne() {
        auto list = ProgramList();
        list->AddFile(QStringLiteral("/m/a.dbx"));
        list->SetVersion(QStringLiteral("2.x"));
        QCOMPARE(StoredValue(QStringLiteral("File 0")), QStringLiteral("/m/a.dbx"));
        QVERIFY(list->Items().isEmpty());
    }

    void menuBarTitleGetsSeparatorAndNumberedEntries() {
        WriteStoredList({"File 0", "File 1"}, {"/m/b&c.dbx", "/m/a.dbx"});
        TMenuWindow form;
        auto list = ProgramList();
        list->SetMainMenuItem(form.file);
        QCOMPARE(form.Captions(), (QStringList{"Open...", "Exit", "-", "&0 /m/b&c.dbx", "&1 /m/a.dbx"}));
        const QList<QAction*> actions = form.file->actions();
        QCOMPARE(Tag(actions[2]), -1);
        QCOMPARE(Tag(actions[3]), 0);
        QCOMPARE(Tag(actions[4]), 1);

        list->AddFile(QStringLiteral("/m/a.dbx"));
        QCOMPARE(form.Captions(), (QStringList{"Open...", "Exit", "-", "&0 /m/a.dbx", "&1 /m/b&c.dbx"}));
    }

    void emptyListAddsNothingToTheMenu() {
        TMenuWindow form;
        auto list = ProgramList();
        list->SetMainMenuItem(form.file);
        QCOMPARE(form.Captions(), (QStringList{"Open...", "Exit"}));
    }

    void entryCaptionCountsInHexadecimal() {
        QCOMPARE(Korvane_MRUList::EntryCaption(0, "/x"), QStringLiteral("&0 /x"));
        QCOMPARE(Korvane_MRUList::EntryCaption(10, "/x"), QStringLiteral("&A /x"));
        QCOMPARE(Korvane_MRUList::EntryCaption(31, "/x"), QStringLiteral("&1F /x"));
    }

    void clickOnEntryReportsItWithItsIndex() {
        WriteStoredList({"File 0", "File 1"}, {"/m/new.dbx", "/m/old.dbx"});
        TMenuWindow form;
        auto list = ProgramList();
        list->SetMainMenuItem(form.file);
        QSignalSpy spy(list.get(), &Korvane_MRUList::OnMenuItemClick);
        form.file->actions().last()->trigger();
        QCOMPARE(spy.count(), 1);
        auto* sender = spy.at(0).at(0).value<QAction*>();
        QCOMPARE(list->Items().at(Tag(sender)), QStringLiteral("/m/old.dbx"));
    }

    // Opening a recent file adds it again, which rebuilds the menu while the entry's click is
    // still being handled: the entry must live until that has returned.
    void clickedEntryOutlivesTheRebuildItsHandlerCauses() {
        WriteStoredList({"File 0", "File 1"}, {"/m/new.dbx", "/m/old.dbx"});
        TMenuWindow form;
        auto list = ProgramList();
        list->SetMainMenuItem(form.file);
        QString opened;
        bool senderAlive = false;
        connect(list.get(), &Korvane_MRUList::OnMenuItemClick, this, [&](QAction* sender) {
            QPointer<QAction> guard(sender);
            opened = list->Items().at(Tag(sender));
            list->AddFile(opened);
            senderAlive = !guard.isNull() && Tag(sender) == 1;
        });
        QPointer<QAction> clicked = form.file->actions().last();
        clicked->trigger();
        QCOMPARE(opened, QStringLiteral("/m/old.dbx"));
        QVERIFY(senderAlive);
        QCOMPARE(form.Captions(), (QStringList{"Open...", "Exit", "-", "&0 /m/old.dbx", "&1 /m/new.dbx"}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(clicked.isNull());
        QCOMPARE(list->findChildren<QAction*>().size(), 3);
    }

    void submenuIsRefilledAndEnabledOnlyWithEntries() {
        TMenuWindow form;
        QMenu* recent = form.file->addMenu(QStringLiteral("Recent"));
        recent->addAction(QStringLiteral("placeholder"));
        auto list = ProgramList();
        list->SetMainMenuItem(recent);
        QVERIFY(recent->actions().isEmpty());
        QVERIFY(!recent->menuAction()->isEnabled());
        list->AddFile(QStringLiteral("/m/a.dbx"));
        QCOMPARE(recent->actions().size(), 1);
        QCOMPARE(recent->actions()[0]->text(), QStringLiteral("&0 /m/a.dbx"));
        QVERIFY(recent->menuAction()->isEnabled());
    }

    void popupEntriesCarryNoIndex() {
        QMenu popup;
        popup.addAction(QStringLiteral("stale"));
        auto list = ProgramList();
        list->SetPopupMenu(&popup);
        list->AddFile(QStringLiteral("/m/a.dbx"));
        list->AddFile(QStringLiteral("/m/b.dbx"));
        QCOMPARE(popup.actions().size(), 2);
        QSignalSpy spy(list.get(), &Korvane_MRUList::OnPopupMenuClick);
        popup.actions()[1]->trigger();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(Tag(spy.at(0).at(0).value<QAction*>()), 0);
        QCOMPARE(popup.actions()[1]->text(), QStringLiteral("&1 /m/a.dbx"));
    }

    void capacityBelowOneMeansOne() {
        auto list = ProgramList();
        list->SetCapacity(0);
        QCOMPARE(list->Capacity(), 1);
        list->AddFile(QStringLiteral("/m/a.dbx"));
        list->AddFile(QStringLiteral("/m/b.dbx"));
        QCOMPARE(list->Items(), QStringList{"/m/b.dbx"});
    }
};

int RunMRUListTest(int argc, char** argv) {
    MRUListTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MRUListTest.moc"
