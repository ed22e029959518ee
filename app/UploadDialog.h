#pragma once
// File > Upload to Mail Account...: the selected messages, the open folder or the whole store
// folder into an IMAP account, under one parent folder or into the account's inbox and
// special folders. The upload runs on a worker thread with a progress bar and Cancel; what
// the server confirmed is kept in the same journal as brindle-cli upload uses, so a cancelled
// or broken upload started again adds only what is missing. A certificate that does not
// verify is shown (subject, SHA-256 fingerprint) and may be accepted for the one upload.
#include "app/ExportDialog.h"
#include "app/SecretStore.h"
#include "remote/ImapUploadSink.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class QVBoxLayout;

namespace brindle {

// A mail provider's IMAP server.
struct TServerPreset {
    const char* Name;
    const char* Host;
    uint16_t Port;
    bool ImplicitTls;
    const char* Note;  // how to log in there: app passwords, tokens
};

// Gmail, Outlook.com, Yahoo, iCloud and Fastmail.
std::span<const TServerPreset> ServerPresets();

// What an upload did, as the summary tells it.
struct TUploadSummary {
    size_t FoldersCreated = 0;
    size_t Uploaded = 0;
    size_t AlreadyThere = 0;
    size_t Skipped = 0;
    size_t Failed = 0;
    bool Cancelled = false;
};

class TUploadDialog : public QDialog {
    Q_OBJECT

public:
    using TScope = TExportDialog::TScope;

    TUploadDialog(TExportSources sources, std::unique_ptr<TSecretStore> secrets, QWidget* parent = nullptr);
    // Stops a running upload and waits for it.
    ~TUploadDialog() override;

    // Index into ServerPresets(), or -1 for a server of one's own.
    void SetPreset(int preset);
    void SetServer(const QString& host, uint16_t port, bool implicitTls);
    void SetUser(const QString& user);
    void SetPassword(const QString& password);
    // The password is an OAuth2 access token (SASL XOAUTH2).
    void SetPasswordIsToken(bool token);
    void SetRememberPassword(bool remember);
    void SetScope(TScope scope);
    bool ScopeAvailable(TScope scope) const;
    // Under a parent folder of this name (UTF-8), or into the inbox and special folders.
    void SetParentFolder(const QString& name);
    void SetSpecialFolders(bool special);
    // Leave out each message whose text came from another folder of the same upload.
    void SetSkipDuplicates(bool skip);

    // Starts the upload (the Upload button); false, with the reason shown, when it cannot.
    bool Start();
    // Asks a running upload to stop after the messages it is sending.
    void Cancel();
    bool Running() const { return worker_.joinable() && !finishedShown_; }
    // Waits for the worker and shows its end at once, as many times as the certificate
    // question starts it again (for tests and closing).
    void Wait();

    const TUploadSummary& Summary() const { return summary_; }
    // "Folders created: 2, messages uploaded: 5, already there: 0, skipped: 0, failed: 0".
    QString SummaryText() const;
    QString StatusText() const;
    // Problems and notes as the worker told them.
    QStringList Reports() const;

    // Asks whether to accept a certificate that does not verify; a message box unless replaced.
    std::function<bool(const TCertificateFacts& certificate)> AskCertificate;
    // Called on the worker thread after each message the walk handed on, with the count so far.
    std::function<void(size_t messages)> OnMessage;

signals:
    void Finished();

protected:
    void reject() override;

private:
    void BuildControls();
    void BuildServerRows(QFormLayout* form);
    void BuildScopeAndTarget(QVBoxLayout* layout);
    void PresetChosen(int row);
    void LookUpKeptPassword();
    QString SecretKey() const;
    std::optional<TImapUploadOptions> OptionsFromControls();
    void EnableControls(bool enabled);
    void RunWorker(TImapUploadOptions options, TStoreFolder folder, std::optional<std::vector<int32_t>> indexes);
    void ShowProgress();
    // Shows the end of the worker's run-th start; an older run's late word is ignored.
    void WorkerFinished(unsigned run);
    void KeepOrForgetPassword();
    bool AskAboutCertificate(const TCertificateFacts& certificate);

    TExportSources sources_;
    std::unique_ptr<TSecretStore> secrets_;
    QComboBox* preset_ = nullptr;
    QLabel* note_ = nullptr;
    QLineEdit* host_ = nullptr;
    QSpinBox* port_ = nullptr;
    QComboBox* security_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* token_ = nullptr;
    QCheckBox* remember_ = nullptr;
    QRadioButton* scopeButtons_[3] = {};
    QRadioButton* underParent_ = nullptr;
    QRadioButton* special_ = nullptr;
    QLineEdit* parent_ = nullptr;
    QCheckBox* skipDuplicates_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPlainTextEdit* reports_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* poll_ = nullptr;

    // The fingerprint of the certificate the user accepted for this server.
    std::string acceptedFingerprint_;
    std::thread worker_;
    unsigned run_ = 0;
    std::atomic<bool> cancelled_{false};
    std::atomic<size_t> done_{0};
    std::atomic<size_t> expected_{0};
    mutable std::mutex lock_;  // guards what the worker leaves below
    QStringList reportLines_;
    TUploadSummary result_;
    std::optional<TCertificateFacts> refused_;
    bool loggedIn_ = false;
    TUploadSummary summary_;
    bool finishedShown_ = false;
};

// Runs the dialog modally over the window's sources, with the desktop's secret store.
void RunUploadDialog(TExportSources sources, QWidget* parent);

}  // namespace brindle
