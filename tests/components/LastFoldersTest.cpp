// The folders the file dialogs were left in: one per use, kept between runs, and none once the
// folder is gone.
#include "components/LastFolders.h"
#include "tests/components/TestSettings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using brindle::test::TTestSettings;

namespace brindle {

class LastFoldersTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TTestSettings::Clear(); }

    void eachUseKeepsItsOwnFolder() {
        QTemporaryDir opened, attachments;
        QCOMPARE(LastFolder(TFolderUse::Attachments), QString());
        RememberFolder(TFolderUse::Open, opened.path());
        RememberFolder(TFolderUse::Attachments, attachments.path());
        QCOMPARE(LastFolder(TFolderUse::Open), QDir(opened.path()).absolutePath());
        QCOMPARE(LastFolder(TFolderUse::Attachments), QDir(attachments.path()).absolutePath());
        QCOMPARE(LastFolder(TFolderUse::Save), QString());
        // A cancelled choice leaves the folder kept before.
        RememberFolder(TFolderUse::Attachments, QString());
        QCOMPARE(LastFolder(TFolderUse::Attachments), QDir(attachments.path()).absolutePath());
    }

    void aFolderThatIsGoneIsNoLongerOffered() {
        QString path;
        {
            QTemporaryDir gone;
            path = gone.path();
            RememberFolder(TFolderUse::Export, path);
            QCOMPARE(LastFolder(TFolderUse::Export), QDir(path).absolutePath());
        }
        QCOMPARE(LastFolder(TFolderUse::Export), QString());
    }
};

int RunLastFoldersTest(int argc, char** argv) {
    LastFoldersTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace brindle

#include "LastFoldersTest.moc"
