#include "app/AboutBox.h"
#include "app/AddressGathering.h"
#include "app/AppHooks.h"
#include "app/Collation.h"
#include "app/FileProperties.h"
#include "app/FolderChooser.h"
#include "app/MainWindow.h"
#include "app/SortKey.h"
#include "app/StoreKind.h"
#include "mailbox/MessageFiles.h"
#include "tests/app/FakeReader.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace brindle;

namespace {

TSortKey TextKey(const QCollator& collator, const char* text) {
    return LocaleSortKey(collator, QString::fromUtf8(text));
}

}  // namespace

class HelpersTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        QLocale::setDefault(QLocale::c());
        ResetAppHooks();
    }

    void emlExtensionInAnyCaseGoesToTheViewer_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("eml");
        QTest::newRow("upper") << "/m/message.EML" << true;
        QTest::newRow("lower") << "/m/message.eml" << true;
        QTest::newRow("mixed") << "/m/message.Eml" << true;
        QTest::newRow("longer extension") << "/m/message.emlx" << false;
        QTest::newRow("no extension") << "/m/message" << false;
        QTest::newRow("dot in folder only") << "/m/old.eml/message" << false;
        QTest::newRow("store") << "/m/Inbox.dbx" << false;
        QTest::newRow("two dots") << "/m/a.eml.dbx" << false;
    }
    void emlExtensionInAnyCaseGoesToTheViewer() {
        QFETCH(QString, path);
        QFETCH(bool, eml);
        QCOMPARE(HasEmlExtension(path), eml);
    }

    void sortKeysCompareByKind() {
        QCollator collator = LocaleCollator(true);
        QCOMPARE(CompareSortKeys(int64_t{1}, int64_t{2}), -1);
        QCOMPARE(CompareSortKeys(int64_t{7}, int64_t{7}), 0);
        QCOMPARE(CompareSortKeys(int64_t{INT32_MAX}, int64_t{INT32_MIN}), 1);
        QCOMPARE(CompareSortKeys(0.0, 36526.5), -1);
        QCOMPARE(CompareSortKeys(2.25, 2.25), 0);
        QCOMPARE(CompareSortKeys(TextKey(collator, "b"), TextKey(collator, "a")), 1);
        QCOMPARE(CompareSortKeys(TextKey(collator, "same"), TextKey(collator, "same")), 0);
    }

    void collationCountsCaseOnlyWhenAsked_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("C") << QLocale::c();
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    }
    void collationCountsCaseOnlyWhenAsked() {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        QCollator sensitive = LocaleCollator(true);
        QCollator insensitive = LocaleCollator(false);
        QVERIFY(CompareSortKeys(TextKey(sensitive, "Subject"), TextKey(sensitive, "subject")) != 0);
        QCOMPARE(CompareSortKeys(TextKey(insensitive, "Subject"), TextKey(insensitive, "subject")), 0);
        QCOMPARE(CompareSortKeys(TextKey(insensitive, "JOS\u00c9"), TextKey(insensitive, "JOS\u00e9")), 0);
        QCOMPARE(CompareSortKeys(TextKey(insensitive, "ANN"), TextKey(insensitive, "BOB")), -1);
    }

    // C4: one sort with keys computed once, the same result as a de-duplication that keeps
    // the first of equal lines followed by a sort.
    void gatheredLinesAreSortedAndUniqueIgnoringCase_data() { collationCountsCaseOnlyWhenAsked_data(); }
    void gatheredLinesAreSortedAndUniqueIgnoringCase() {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        std::vector<std::string> lines = {"JOS\xc3\xa9 = J@X.ORG", "ANN = A@X.ORG", "JOS\xc3\x89 = J@X.ORG", " = ",
                                          "ANN = A@X.ORG",         " = ",           "BOB = B@X.ORG"};
        SortUniqueByCollator(lines, LocaleCollator(false));
        QCOMPARE(lines, (std::vector<std::string>{" = ", "ANN = A@X.ORG", "BOB = B@X.ORG", "JOS\xc3\xa9 = J@X.ORG"}));
    }

    void gatheringTakesSendersAndReceiversOfEveryMessage() {
        std::vector<TMessageInfo> infos(3);
        infos[0].SenderName = "ann";
        infos[0].SenderAddress = "ann@x.org";
        infos[0].ReceiverName = "Bob";
        infos[0].ReceiverAddress = "bob@x.org";
        infos[1].SenderName = "Ann";
        infos[1].SenderAddress = "ANN@X.ORG";
        infos[2].ReceiverName = "Caf\xe9";
        infos[2].ReceiverAddress = "c@x.org";
        test::TFakeReader reader(infos);
        std::vector<std::string> lines = GatherAddressLines(reader);
        QCOMPARE(lines,
                 (std::vector<std::string>{" = ", "ANN = ANN@X.ORG", "BOB = BOB@X.ORG", "CAF\xc3\xa9 = C@X.ORG"}));
    }

    void aboutLinesFollowTheirFormats() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(VersionLine(1, 0, 7), QStringLiteral("Version 1.0 [Build: 7]"));
        QCOMPARE(OsLine(QStringLiteral("Debian GNU/Linux 12")), QStringLiteral("OS: Debian GNU/Linux 12"));
        QCOMPARE(MemoryLine(24684544), QStringLiteral("Physical Memory: 24,684,544 KB"));
        QString intel = QStringLiteral(
            "processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Xeon(R) CPU @ 2.20GHz\n"
            "cpu MHz\t\t: 2199.998\n\nprocessor\t: 1\nvendor_id\t: Other\n");
        QCOMPARE(CpuLine(intel), QStringLiteral("CPU: GenuineIntel Intel(R) Xeon(R) CPU @ 2.20GHz - 2200 Mhz"));
        QString arm = QStringLiteral("processor\t: 0\nBogoMIPS\t: 108.00\n\nModel\t\t: Raspberry Pi 4 Model B\n");
        QCOMPARE(CpuLine(arm), QStringLiteral("CPU: Raspberry Pi 4 Model B - 0 Mhz"));
    }

    void aboutButtonsOpenHomepageAndMail() {
        QList<QUrl> opened;
        AppHooks().OpenUrl = [&](const QUrl& url) { opened << url; };
        TdlgAbout about;
        about.findChild<QPushButton*>(QStringLiteral("bHomepage"))->click();
        about.findChild<QPushButton*>(QStringLiteral("bContact"))->click();
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QUrl(TdlgAbout::HomepageAddress()));
        QCOMPARE(opened[1].scheme(), QStringLiteral("mailto"));
        QVERIFY(opened[1].toString().endsWith(TdlgAbout::ContactAddress()));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("lCPU"))->text().startsWith(QStringLiteral("CPU: ")));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("lOS"))->text().startsWith(QStringLiteral("OS: ")));
    }

    void filePropertiesNameFileAndStore() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("Inbox.dbx"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1500, 'x'));
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QCOMPARE(PermissionText(path), QStringLiteral("rw-r-----"));

        test::TFakeReader reader({test::Summary("a"), test::Summary("b")});
        auto rows = FilePropertyRows(path, &reader);
        QStringList captions;
        for (const auto& row : rows) captions << row.first;
        QCOMPARE(
            captions,
            (QStringList{"Path:", "Size:", "Modified:", "Owner:", "Permissions:", "Kind:", "Folder:", "Messages:"}));
        QCOMPARE(rows[0].second, path);
        QCOMPARE(rows[1].second, QStringLiteral("1,500 bytes"));
        QCOMPARE(rows[5].second, QStringLiteral("Folder file, version 5/6"));
        QCOMPARE(rows[6].second, QStringLiteral("Fake"));
        QCOMPARE(rows[7].second, QStringLiteral("2"));

        int shown = 0;
        AppHooks().RunModal = [&](QDialog& dialog) {
            ++shown;
            QCOMPARE(dialog.windowTitle(), QStringLiteral("File Properties"));
        };
        QVERIFY(ShowFileProperties(nullptr, path, &reader));
        QCOMPARE(shown, 1);
    }

    // The kind is told by its version.
    void formatLineNamesTheKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("line");
        QTest::newRow("version 4") << int(kFileKindOE4) << "Format: Folder file, version 4";
        QTest::newRow("version 5/6") << int(kFileKindOE5) << "Format: Folder file, version 5/6";
    }
    void formatLineNamesTheKind() {
        QFETCH(int, kind);
        QFETCH(QString, line);
        QCOMPARE(FormatLine(static_cast<uint8_t>(kind)), line);
        QVERIFY(StoreFormatName(0).isEmpty());
    }

    // Unsafe characters become spaces, and every run of spaces one space.
    void savedNamesFoldRunsOfSpaces_data() {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::newRow("question and colon") << "Re: Hello?" << "7_Re Hello .eml";
        QTest::newRow("spaces typed") << "a   b    c" << "7_a b c.eml";
        QTest::newRow("unsafe among spaces") << "x : * / y" << "7_x y.eml";
        QTest::newRow("tab and line end") << "one\t\r\ntwo" << "7_one two.eml";
        QTest::newRow("one space stays") << "plain text" << "7_plain text.eml";
    }
    void savedNamesFoldRunsOfSpaces() {
        QFETCH(QString, subject);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(SavedMessageFileName(7, subject.toStdString())), name);
    }

    void folderChooserStartsOnlyInExistingFolders() {
        QTemporaryDir dir;
        QString startedAt;
        AppHooks().BrowseForFolder = [&](QWidget*, const QString& title, const QString& start) {
            startedAt = start;
            return title == QStringLiteral("Select folder") ? dir.path() : QString();
        };
        QString folder = QStringLiteral("/no/such/folder");
        QVERIFY(ChooseFolder(QStringLiteral("Select folder"), QStringLiteral("/root-start"), folder));
        QCOMPARE(startedAt, QStringLiteral("/root-start"));
        QCOMPARE(folder, dir.path());
        QVERIFY(ChooseFolder(QStringLiteral("Select folder"), QString(), folder));
        QCOMPARE(startedAt, dir.path());
        QVERIFY(!ChooseFolder(QStringLiteral("Other"), QString(), folder));
        QCOMPARE(folder, dir.path());
    }
};

int RunHelpersTest(int argc, char** argv) {
    HelpersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HelpersTest.moc"
