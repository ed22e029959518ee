// The upload dialog against a Dovecot server of its own (skipped where Dovecot is not
// installed): presets, a real upload read back over IMAP, the certificate question, cancel
// and resume without duplicates, and a password kept only when asked and only where the
// secret store is reachable.
#include "DovecotServer.h"
#include "StoreWriter.h"
#include "app/UploadDialog.h"
#include "mailbox/FolderExport.h"
#include "mailbox/StoreFolder.h"
#include "platform/ModifiedUtf7.h"
#include "store/FolderList.h"
#include "store/MessageFlags.h"
#include "tests/remote/ImapProbe.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <map>

using namespace brindle;
using brindle::test::TDovecotOptions;
using brindle::test::TDovecotServer;
using brindle::test::TImapProbe;
using testsupport::FileTimeOf;
using testsupport::MessageText;
using testsupport::TStoreMessage;

namespace {

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "wonderland";
const std::string kCyrillic = "\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2";  // "Архив"

// A secret store in memory that may play an unreachable one.
class TMemorySecrets : public TSecretStore {
public:
    explicit TMemorySecrets(std::map<QString, QString>& kept, bool reachable = true)
        : kept_(kept), reachable_(reachable) {}
    std::optional<QString> Read(const QString& key) override {
        if (!reachable_ || !kept_.contains(key)) return std::nullopt;
        return kept_.at(key);
    }
    QString Write(const QString& key, const QString& password) override {
        if (!reachable_) return QStringLiteral("no secret service on the bus");
        kept_[key] = password;
        return {};
    }
    void Remove(const QString& key) override {
        if (reachable_) kept_.erase(key);
    }

private:
    std::map<QString, QString>& kept_;
    bool reachable_;
};

TStoreMessage Message(uint32_t index, uint32_t flags) {
    TStoreMessage message;
    message.Text = MessageText({"From: Ann <ann@example.org>", "Subject: note " + std::to_string(index),
                                "Date: Wed, 2 Jul 2003 09:00:00 +0000",
                                "Message-ID: <n" + std::to_string(index) + "@example.org>"},
                               "body of note " + std::to_string(index) + "\r\n");
    message.Index = index;
    message.Flags = flags;
    message.Received = FileTimeOf(2005, 6, 7, 8, 9, index % 60);
    message.Subject = "note " + std::to_string(index);
    return message;
}

}  // namespace

class UploadDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir stores_;
    QTemporaryDir state_;
    std::map<std::string, std::vector<TStoreMessage>> byMailbox_;  // under "Imported mail"
    size_t total_ = 0;
    std::unique_ptr<TDovecotServer> server_;
    std::map<QString, QString> kept_;

    std::string StoreDir() const { return QFile::encodeName(stores_.path()).toStdString(); }

    void WriteStore(const std::string& file, const std::string& mailbox, std::vector<TStoreMessage> messages) {
        testsupport::TDbxOptions options;
        options.FolderName = file;
        testsupport::TDbxWriter writer(StoreDir() + "/" + file, options);
        for (const TStoreMessage& message : messages) writer.Add(message);
        writer.Finish();
        total_ += messages.size();
        byMailbox_[mailbox] = std::move(messages);
    }

    TExportSources Sources(std::vector<int32_t> selected = {}) const {
        TExportSources sources;
        sources.StoreFolder = ReadStoreFolder(StoreDir());
        sources.OpenFolder = SingleStoreFolder(StoreDir() + "/Inbox.dbx", "Inbox");
        sources.Selected = std::move(selected);
        return sources;
    }

    // A dialog set up for the test server; the certificate question is answered with accept.
    std::unique_ptr<TUploadDialog> Dialog(bool reachableSecrets = true, bool acceptCertificate = true,
                                          std::vector<TCertificateFacts>* asked = nullptr) {
        auto dialog = std::make_unique<TUploadDialog>(
            Sources({0, 2}), std::make_unique<TMemorySecrets>(kept_, reachableSecrets));
        dialog->SetPreset(-1);
        dialog->SetServer(QStringLiteral("127.0.0.1"), server_->ImapsPort(), true);
        dialog->SetUser(QString::fromLatin1(kUser));
        dialog->AskCertificate = [acceptCertificate, asked](const TCertificateFacts& certificate) {
            if (asked) asked->push_back(certificate);
            return acceptCertificate;
        };
        return dialog;
    }

    static TUploadSummary Run(TUploadDialog& dialog) {
        if (!dialog.Start()) return {};
        dialog.Wait();
        return dialog.Summary();
    }

    // Each mailbox of the tree holds exactly the store's messages, with flags and dates.
    void ExpectServerHoldsTheTree() {
        TImapProbe probe(server_->ImapPort(), kUser, kPassword);
        for (const auto& [mailbox, messages] : byMailbox_) {
            const auto stored = probe.Messages("Imported mail/" + EncodeModifiedUtf7(mailbox));
            QCOMPARE(stored.size(), messages.size());
            for (size_t i = 0; i < messages.size(); ++i) {
                QCOMPARE(stored[i].Text, messages[i].Text);
                const bool seen = std::find(stored[i].Flags.begin(), stored[i].Flags.end(), "\\Seen") !=
                                  stored[i].Flags.end();
                QCOMPARE(seen, (messages[i].Flags & kFlagRead) != 0);
            }
        }
    }

private slots:
    void initTestCase() {
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        using testsupport::WriteFolderList;
        WriteFolderList(StoreDir() + "/Folders.dbx",
                        {
                            {1, 0xFFFFFFFF, "Inbox", "Inbox.dbx", 0, 4, 1, kSpecialInbox},
                            {2, 1, kCyrillic, "Archive.dbx", 0, 3},
                            {3, 0xFFFFFFFF, "Sent Items", "Sent Items.dbx", 0, 2, 0, kSpecialSent},
                        });
        WriteStore("Inbox.dbx", "Inbox",
                   {Message(0, kFlagRead), Message(1, 0), Message(2, kFlagRead | kFlagReplied), Message(3, 0)});
        WriteStore("Archive.dbx", "Inbox/" + kCyrillic, {Message(4, kFlagRead), Message(5, 0), Message(6, 0)});
        WriteStore("Sent Items.dbx", "Sent Items", {Message(7, kFlagRead), Message(8, kFlagRead)});
    }

    void init() {
        kept_.clear();
        QDir(state_.path() + QStringLiteral("/brindle")).removeRecursively();
        if (!TDovecotServer::Available()) QSKIP("dovecot is not installed (Debian dovecot-imapd): skipped");
        server_ = std::make_unique<TDovecotServer>();
        server_->Start();
    }

    void cleanup() { server_.reset(); }

    void presetsFillTheServerAndTellHowToLogIn() {
        TUploadDialog dialog(Sources(), std::make_unique<TMemorySecrets>(kept_));
        const auto* host = dialog.findChild<QLineEdit*>(QStringLiteral("edHost"));
        const auto* port = dialog.findChild<QSpinBox*>(QStringLiteral("sePort"));
        const auto* security = dialog.findChild<QComboBox*>(QStringLiteral("cbSecurity"));
        const auto* note = dialog.findChild<QLabel*>(QStringLiteral("lbNote"));
        QVERIFY(host && port && security && note);
        QCOMPARE(ServerPresets().size(), size_t(5));
        for (size_t i = 0; i < ServerPresets().size(); ++i) {
            const TServerPreset& preset = ServerPresets()[i];
            dialog.SetPreset(static_cast<int>(i));
            QCOMPARE(host->text(), QString::fromLatin1(preset.Host));
            QCOMPARE(port->value(), int(preset.Port));
            QCOMPARE(security->currentData().toBool(), preset.ImplicitTls);
            QVERIFY2(note->text().contains(QString::fromLatin1(preset.Name)), qPrintable(note->text()));
            QVERIFY(note->text().contains(QStringLiteral("password")));
        }
        // Choosing a server of one's own keeps what the preset filled in.
        dialog.SetPreset(-1);
        QCOMPARE(host->text(), QString::fromLatin1(ServerPresets().back().Host));
    }

    void refusesToStartWithoutTheAccount() {
        TUploadDialog dialog(Sources(), std::make_unique<TMemorySecrets>(kept_));
        dialog.SetServer(QStringLiteral("127.0.0.1"), server_->ImapsPort(), true);
        dialog.SetUser(QString());
        dialog.SetPassword(QString::fromLatin1(kPassword));
        QVERIFY(!dialog.Start());
        QVERIFY(dialog.StatusText().contains(QStringLiteral("user")));
        dialog.SetUser(QString::fromLatin1(kUser));
        dialog.SetParentFolder(QStringLiteral("  "));
        QVERIFY(!dialog.Start());
        QVERIFY(!dialog.Running());
    }

    void uploadsTheTreeShowsTheCertificateAndKeepsNoPasswordUnasked() {
        std::vector<TCertificateFacts> asked;
        auto dialog = Dialog(true, true, &asked);
        dialog->SetPassword(QString::fromLatin1(kPassword));
        const TUploadSummary summary = Run(*dialog);
        QCOMPARE(asked.size(), size_t(1));
        QVERIFY(SameFingerprint(asked[0].Fingerprint, server_->CertificateFingerprint()));
        QVERIFY(!asked[0].Subject.empty());
        QVERIFY2(summary.Failed == 0, qPrintable(dialog->Reports().join(u'\n')));
        QCOMPARE(summary.Uploaded, total_);
        QCOMPARE(summary.FoldersCreated, byMailbox_.size() + 1);
        QVERIFY(dialog->StatusText().contains(dialog->SummaryText()));
        ExpectServerHoldsTheTree();
        QVERIFY(kept_.empty());

        // Once accepted, the certificate is not asked about again in the same dialog.
        const TUploadSummary again = Run(*dialog);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(again.Uploaded, size_t(0));
        QCOMPARE(again.AlreadyThere, total_);
    }

    void aRefusedCertificateUploadsNothing() {
        std::vector<TCertificateFacts> asked;
        auto dialog = Dialog(true, false, &asked);
        dialog->SetPassword(QString::fromLatin1(kPassword));
        const TUploadSummary summary = Run(*dialog);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(summary.Uploaded, size_t(0));
        QVERIFY(dialog->StatusText().contains(QStringLiteral("certificate")));
        TImapProbe probe(server_->ImapPort(), kUser, kPassword);
        for (const auto& mailbox : probe.Mailboxes()) QVERIFY(mailbox.Name.find("Imported") == std::string::npos);
    }

    void selectedMessagesOnlyGoIntoSpecialFolders() {
        auto dialog = Dialog();
        dialog->SetPassword(QString::fromLatin1(kPassword));
        dialog->SetScope(TUploadDialog::TScope::Selected);
        dialog->SetSpecialFolders(true);
        const TUploadSummary summary = Run(*dialog);
        QCOMPARE(summary.Uploaded, size_t(2));
        const auto stored = TImapProbe(server_->ImapPort(), kUser, kPassword).Messages("INBOX");
        QCOMPARE(stored.size(), size_t(2));
        QCOMPARE(stored[0].Text, byMailbox_.at("Inbox")[0].Text);
        QCOMPARE(stored[1].Text, byMailbox_.at("Inbox")[2].Text);
    }

    void cancelledUploadResumesWithoutDuplicates() {
        auto dialog = Dialog();
        dialog->SetPassword(QString::fromLatin1(kPassword));
        TUploadDialog* shown = dialog.get();
        dialog->OnMessage = [shown](size_t messages) {
            if (messages >= 3) shown->Cancel();
        };
        const TUploadSummary first = Run(*dialog);
        QVERIFY(first.Cancelled);
        QVERIFY2(first.Uploaded >= 3 && first.Uploaded < total_, qPrintable(dialog->SummaryText()));
        QVERIFY(dialog->StatusText().contains(QStringLiteral("Upload again")));

        dialog->OnMessage = nullptr;
        const TUploadSummary second = Run(*dialog);
        QVERIFY(!second.Cancelled);
        QCOMPARE(second.Failed, size_t(0));
        QCOMPARE(second.Uploaded + second.AlreadyThere, total_);
        QCOMPARE(second.Uploaded, total_ - first.Uploaded);
        ExpectServerHoldsTheTree();
    }

    // A message met again in another folder is left out when the box is ticked.
    void copiesInOtherFoldersAreLeftOutWhenAsked_data() {
        QTest::addColumn<bool>("skip");
        QTest::newRow("sent") << false;
        QTest::newRow("left out") << true;
    }
    void copiesInOtherFoldersAreLeftOutWhenAsked() {
        QFETCH(bool, skip);
        QTemporaryDir copies;
        const std::string dir = QFile::encodeName(copies.path()).toStdString();
        const std::vector<std::vector<TStoreMessage>> stores = {{Message(30, kFlagRead)},
                                                                {Message(30, kFlagRead), Message(31, 0)}};
        const char* names[] = {"One.dbx", "Two.dbx"};
        for (size_t i = 0; i < stores.size(); ++i) {
            testsupport::TDbxOptions options;
            options.FolderName = names[i];
            testsupport::TDbxWriter writer(dir + "/" + names[i], options);
            for (const TStoreMessage& message : stores[i]) writer.Add(message);
            writer.Finish();
        }
        TExportSources sources;
        sources.StoreFolder = ReadStoreFolder(dir);
        sources.OpenFolder = SingleStoreFolder(dir + "/One.dbx", "One");
        TUploadDialog dialog(std::move(sources), std::make_unique<TMemorySecrets>(kept_));
        dialog.SetPreset(-1);
        dialog.SetServer(QStringLiteral("127.0.0.1"), server_->ImapsPort(), true);
        dialog.SetUser(QString::fromLatin1(kUser));
        dialog.SetPassword(QString::fromLatin1(kPassword));
        dialog.AskCertificate = [](const TCertificateFacts&) { return true; };
        dialog.SetScope(TUploadDialog::TScope::StoreFolder);
        auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("cbSkipDuplicates"));
        QVERIFY(box);
        QVERIFY(!box->isChecked());
        dialog.SetSkipDuplicates(skip);
        QCOMPARE(box->isChecked(), skip);
        const TUploadSummary summary = Run(dialog);
        QVERIFY2(summary.Failed == 0, qPrintable(dialog.Reports().join(u'\n')));
        QCOMPARE(summary.Uploaded, skip ? size_t(2) : size_t(3));
        QCOMPARE(summary.Skipped, skip ? size_t(1) : size_t(0));
    }

    void passwordIsKeptWhenAskedAndFoundNextTime() {
        {
            auto dialog = Dialog();
            dialog->SetPassword(QString::fromLatin1(kPassword));
            dialog->SetRememberPassword(true);
            QCOMPARE(Run(*dialog).Uploaded, total_);
        }
        QCOMPARE(kept_.size(), size_t(1));
        QCOMPARE(kept_.begin()->second, QString::fromLatin1(kPassword));
        QVERIFY(kept_.begin()->first.contains(QString::number(server_->ImapsPort())));

        auto next = Dialog();  // no password typed: the kept one is found for the account
        QCOMPARE(next->findChild<QLineEdit*>(QStringLiteral("edPassword"))->text(), QString::fromLatin1(kPassword));
        QVERIFY(next->findChild<QCheckBox*>(QStringLiteral("cbRemember"))->isChecked());
        QCOMPARE(Run(*next).AlreadyThere, total_);

        // Unticked, the kept password goes.
        auto last = Dialog();
        last->SetRememberPassword(false);
        Run(*last);
        QVERIFY(kept_.empty());
    }

    void unreachableSecretStoreSaysSoAndKeepsNothing() {
        auto dialog = Dialog(false);
        dialog->SetPassword(QString::fromLatin1(kPassword));
        dialog->SetRememberPassword(true);
        QCOMPARE(Run(*dialog).Uploaded, total_);
        QVERIFY(kept_.empty());
        QVERIFY2(dialog->Reports().join(u'\n').contains(QStringLiteral("not kept")),
                 qPrintable(dialog->Reports().join(u'\n')));
        QVERIFY(!dialog->findChild<QCheckBox*>(QStringLiteral("cbRemember"))->isChecked());
    }

    // Without a session bus no secret service can be reached: nothing is kept, and the reason is told.
    void desktopStoreWithoutASessionBusKeepsNothing() {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(state_.path()) + "/no-bus");
        const std::unique_ptr<TSecretStore> store = DesktopSecretStore();
        const QString key = QStringLiteral("imap:test@127.0.0.1:1");
        const QString why = store->Write(key, QStringLiteral("secret"));
        const std::optional<QString> read = store->Read(key);
        if (bus.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        QVERIFY(!why.isEmpty());
        QVERIFY(!read);
    }

    void wrongPasswordTellsTheServersAnswerAndKeepsNothing() {
        auto dialog = Dialog();
        dialog->SetPassword(QStringLiteral("looking-glass"));
        dialog->SetRememberPassword(true);
        const TUploadSummary summary = Run(*dialog);
        QCOMPARE(summary.Uploaded, size_t(0));
        QVERIFY(summary.Failed > 0);
        QVERIFY(dialog->StatusText().contains(QStringLiteral("Nothing was uploaded")));
        QVERIFY2(dialog->Reports().join(u'\n').contains(QStringLiteral("login")),
                 qPrintable(dialog->Reports().join(u'\n')));
        QVERIFY(kept_.empty());
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    UploadDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "UploadDialogTest.moc"
