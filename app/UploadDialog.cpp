#include "app/UploadDialog.h"

#include "app/AppHooks.h"
#include "components/SettingsKey.h"
#include "mailbox/Duplicates.h"
#include "remote/ImapSession.h"

#include "app/JobPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace brindle {
namespace {

constexpr int kPollMilliseconds = 100;
constexpr int kProgressSteps = 1000;
constexpr int kOwnServer = -1;
constexpr uint16_t kImapsPort = 993;
constexpr uint16_t kImapPort = 143;
const QString kSettingsKey = QStringLiteral("Software\\Korvane\\Brindle\\1.x\\Upload");
const QString kDefaultParent = QStringLiteral("Imported mail");

constexpr TServerPreset kPresets[] = {
    {"Gmail", "imap.gmail.com", 993, true,
     "Gmail refuses the account's own password: make an app password (Google Account, Security, "
     "2-Step Verification, App passwords), or give an OAuth2 access token and tick the box below."},
    {"Outlook.com", "outlook.office365.com", 993, true,
     "Outlook.com accepts only an OAuth2 access token: paste the token as the password and tick the box "
     "below (the README shows how to get one)."},
    {"Yahoo", "imap.mail.yahoo.com", 993, true,
     "Yahoo wants an app password, made under Account security, Generate app password."},
    {"iCloud", "imap.mail.me.com", 993, true,
     "iCloud wants an app-specific password, made under Sign-In and Security of your Apple account."},
    {"Fastmail", "imap.fastmail.com", 993, true,
     "Fastmail wants an app password with IMAP access, made under Settings, Privacy & Security."},
};

QString Counted(size_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

std::span<const TServerPreset> ServerPresets() { return kPresets; }

TUploadDialog::TUploadDialog(TExportSources sources, std::unique_ptr<TSecretStore> secrets, QWidget* parent)
    : QDialog(parent), sources_(std::move(sources)), secrets_(std::move(secrets)) {
    setObjectName(QStringLiteral("dlgUpload"));
    setWindowTitle(QStringLiteral("Upload to Mail Account"));
    AskCertificate = [this](const TCertificateFacts& certificate) { return AskAboutCertificate(certificate); };
    BuildControls();
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMilliseconds);
    connect(poll_, &QTimer::timeout, this, &TUploadDialog::ShowProgress);

    const std::unique_ptr<QSettings> settings = OpenSettingsKey(kSettingsKey);
    const int preset = settings->value(QStringLiteral("Preset"), 0).toInt();
    SetPreset(preset);
    if (preset == kOwnServer)
        SetServer(settings->value(QStringLiteral("Host")).toString(),
                  static_cast<uint16_t>(settings->value(QStringLiteral("Port"), kImapsPort).toUInt()),
                  settings->value(QStringLiteral("TLS"), true).toBool());
    user_->setText(settings->value(QStringLiteral("User")).toString());
    SetPasswordIsToken(settings->value(QStringLiteral("Token"), false).toBool());
    LookUpKeptPassword();
}

TUploadDialog::~TUploadDialog() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

void TUploadDialog::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    auto* server = new QGroupBox(QStringLiteral("Account"), this);
    auto* serverLayout = new QVBoxLayout(server);
    auto* form = new QFormLayout;
    BuildServerRows(form);
    serverLayout->addLayout(form);
    // Below the rows, in a box layout, where a wrapped text gets the height it needs.
    serverLayout->addWidget(note_);
    layout->addWidget(server);
    BuildScopeAndTarget(layout);

    const TJobPanel panel =
        AddJobPanel(*this, *layout, kProgressSteps, QStringLiteral("pbUpload"), QStringLiteral("Upload"),
                    QStringLiteral("bUpload"));
    progress_ = panel.Progress;
    status_ = panel.Status;
    reports_ = panel.Reports;
    start_ = panel.Start;
    cancel_ = panel.Cancel;
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    start_->setEnabled(ScopeAvailable(TScope::Folder) || ScopeAvailable(TScope::StoreFolder));
    resize(540, 680);
}

void TUploadDialog::BuildServerRows(QFormLayout* form) {
    preset_ = new QComboBox(this);
    preset_->setObjectName(QStringLiteral("cbPreset"));
    preset_->addItem(QStringLiteral("Another server"), kOwnServer);
    for (size_t i = 0; i < std::size(kPresets); ++i)
        preset_->addItem(QString::fromLatin1(kPresets[i].Name), static_cast<int>(i));
    connect(preset_, &QComboBox::activated, this, &TUploadDialog::PresetChosen);
    form->addRow(QStringLiteral("Provider:"), preset_);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("lbNote"));
    note_->setWordWrap(true);
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("edHost"));
    form->addRow(QStringLiteral("Server:"), host_);
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("sePort"));
    port_->setRange(1, 65535);
    port_->setValue(kImapsPort);
    form->addRow(QStringLiteral("Port:"), port_);
    security_ = new QComboBox(this);
    security_->setObjectName(QStringLiteral("cbSecurity"));
    security_->addItem(QStringLiteral("TLS from the start (imaps)"), true);
    security_->addItem(QStringLiteral("STARTTLS"), false);
    connect(security_, &QComboBox::activated, this, [this] {
        const bool tls = security_->currentData().toBool();
        if (port_->value() == (tls ? kImapPort : kImapsPort)) port_->setValue(tls ? kImapsPort : kImapPort);
    });
    form->addRow(QStringLiteral("Security:"), security_);
    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("edUser"));
    connect(user_, &QLineEdit::editingFinished, this, &TUploadDialog::LookUpKeptPassword);
    form->addRow(QStringLiteral("User:"), user_);
    password_ = new QLineEdit(this);
    password_->setObjectName(QStringLiteral("edPassword"));
    password_->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Password:"), password_);
    token_ = new QCheckBox(QStringLiteral("The password is an OAuth2 access token"), this);
    token_->setObjectName(QStringLiteral("cbToken"));
    form->addRow(token_);
    remember_ = new QCheckBox(QStringLiteral("Keep the password in the desktop's secret store"), this);
    remember_->setObjectName(QStringLiteral("cbRemember"));
    form->addRow(remember_);
}

void TUploadDialog::BuildScopeAndTarget(QVBoxLayout* layout) {
    const QString captions[] = {QStringLiteral("The selected messages (%1)").arg(sources_.Selected.size()),
                                QStringLiteral("This folder"), QStringLiteral("The whole store folder")};
    AddScopeBox(*this, *layout, QStringLiteral("Upload"), captions, sources_, scopeButtons_);
    SetScope(ScopeAvailable(TScope::StoreFolder) ? TScope::StoreFolder : TScope::Folder);

    auto* targetBox = new QGroupBox(QStringLiteral("Into"), this);
    auto* targetLayout = new QFormLayout(targetBox);
    underParent_ = new QRadioButton(QStringLiteral("A folder of its own:"), targetBox);
    underParent_->setObjectName(QStringLiteral("rbUnderParent"));
    underParent_->setChecked(true);
    parent_ = new QLineEdit(kDefaultParent, targetBox);
    parent_->setObjectName(QStringLiteral("edParent"));
    targetLayout->addRow(underParent_, parent_);
    special_ = new QRadioButton(QStringLiteral("The account's inbox, sent, deleted and drafts folders"), targetBox);
    special_->setObjectName(QStringLiteral("rbSpecial"));
    targetLayout->addRow(special_);
    connect(underParent_, &QRadioButton::toggled, parent_, &QLineEdit::setEnabled);
    layout->addWidget(targetBox);
    skipDuplicates_ = new QCheckBox(QStringLiteral("Leave out copies of messages already uploaded from another folder"),
                                    this);
    skipDuplicates_->setObjectName(QStringLiteral("cbSkipDuplicates"));
    layout->addWidget(skipDuplicates_);
}

void TUploadDialog::PresetChosen(int row) {
    const int preset = preset_->itemData(row).toInt();
    if (preset == kOwnServer) {
        note_->setText(QStringLiteral("Your mail provider's help names its IMAP server; Brindle needs TLS, from the "
                                      "start or by STARTTLS."));
        return;
    }
    const TServerPreset& chosen = kPresets[preset];
    SetServer(QString::fromLatin1(chosen.Host), chosen.Port, chosen.ImplicitTls);
    note_->setText(QString::fromUtf8(chosen.Note));
}

void TUploadDialog::SetPreset(int preset) {
    const int row = preset_->findData(preset >= 0 && preset < static_cast<int>(std::size(kPresets)) ? preset
                                                                                                    : kOwnServer);
    preset_->setCurrentIndex(row);
    PresetChosen(row);
}

void TUploadDialog::SetServer(const QString& host, uint16_t port, bool implicitTls) {
    host_->setText(host);
    port_->setValue(port);
    security_->setCurrentIndex(security_->findData(implicitTls));
}

void TUploadDialog::SetUser(const QString& user) {
    user_->setText(user);
    LookUpKeptPassword();
}

void TUploadDialog::SetPassword(const QString& password) { password_->setText(password); }
void TUploadDialog::SetPasswordIsToken(bool token) { token_->setChecked(token); }
void TUploadDialog::SetRememberPassword(bool remember) { remember_->setChecked(remember); }

void TUploadDialog::SetParentFolder(const QString& name) {
    parent_->setText(name);
    underParent_->setChecked(true);
}

void TUploadDialog::SetSkipDuplicates(bool skip) { skipDuplicates_->setChecked(skip); }

void TUploadDialog::SetSpecialFolders(bool special) {
    (special ? special_ : underParent_)->setChecked(true);
}

bool TUploadDialog::ScopeAvailable(TScope scope) const { return ScopeAvailableIn(sources_, scope); }

void TUploadDialog::SetScope(TScope scope) {
    if (ScopeAvailable(scope)) scopeButtons_[static_cast<int>(scope)]->setChecked(true);
}

QString TUploadDialog::SecretKey() const {
    return QStringLiteral("imap:%1@%2:%3").arg(user_->text().trimmed(), host_->text().trimmed()).arg(port_->value());
}

void TUploadDialog::LookUpKeptPassword() {
    if (!secrets_ || user_->text().trimmed().isEmpty() || host_->text().trimmed().isEmpty()) return;
    if (!password_->text().isEmpty()) return;
    if (std::optional<QString> kept = secrets_->Read(SecretKey())) {
        password_->setText(*kept);
        remember_->setChecked(true);
    }
}

std::optional<TImapUploadOptions> TUploadDialog::OptionsFromControls() {
    TImapUploadOptions options;
    TImapUrl& url = options.Connect.Url;
    url.Host = host_->text().trimmed().toStdString();
    url.User = user_->text().trimmed().toStdString();
    url.Port = static_cast<uint16_t>(port_->value());
    url.ImplicitTls = security_->currentData().toBool();
    if (url.Host.empty() || url.User.empty() || password_->text().isEmpty()) {
        status_->setText(QStringLiteral("Give the server, the user and the password."));
        return std::nullopt;
    }
    if (underParent_->isChecked() && parent_->text().trimmed().isEmpty()) {
        status_->setText(QStringLiteral("Give the name of the folder to upload into."));
        return std::nullopt;
    }
    if (token_->isChecked())
        options.Connect.Login.OAuth2Token = password_->text().toStdString();
    else
        options.Connect.Login.Password = password_->text().toStdString();
    options.Connect.AcceptedFingerprint = acceptedFingerprint_;
    options.Target.SpecialFolders = special_->isChecked();
    options.Target.ParentFolder = parent_->text().trimmed().toStdString();
    return options;
}

void TUploadDialog::EnableControls(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{preset_, host_, port_, security_, user_, password_,
                                                             token_, remember_, underParent_, special_, parent_,
                                                             skipDuplicates_})
        control->setEnabled(enabled);
    parent_->setEnabled(enabled && underParent_->isChecked());
    for (int i = 0; i < 3; ++i) scopeButtons_[i]->setEnabled(enabled && ScopeAvailable(static_cast<TScope>(i)));
    start_->setEnabled(enabled);
}

bool TUploadDialog::Start() {
    if (Running()) return false;
    if (worker_.joinable()) worker_.join();
    TScope scope = TScope::Folder;
    for (int i = 0; i < 3; ++i)
        if (scopeButtons_[i]->isChecked()) scope = static_cast<TScope>(i);
    if (!ScopeAvailable(scope)) return false;
    std::optional<TImapUploadOptions> options = OptionsFromControls();
    if (!options) return false;
    try {
        CheckTransportAllowed(options->Connect.Url, TransportFor(options->Connect.Url));
    } catch (const Exception& error) {
        status_->setText(QString::fromStdString(error.Message()));
        return false;
    }
    const std::unique_ptr<QSettings> settings = OpenSettingsKey(kSettingsKey);
    settings->setValue(QStringLiteral("Preset"), preset_->currentData());
    settings->setValue(QStringLiteral("Host"), host_->text().trimmed());
    settings->setValue(QStringLiteral("Port"), port_->value());
    settings->setValue(QStringLiteral("TLS"), security_->currentData());
    settings->setValue(QStringLiteral("User"), user_->text().trimmed());
    settings->setValue(QStringLiteral("Token"), token_->isChecked());

    TStoreFolder folder = scope == TScope::StoreFolder ? *sources_.StoreFolder : *sources_.OpenFolder;
    std::optional<std::vector<int32_t>> indexes;
    if (scope == TScope::Selected) indexes = sources_.Selected;
    EnableControls(false);
    cancel_->setText(QStringLiteral("Cancel"));
    status_->setText(QStringLiteral("Connecting to %1...").arg(host_->text().trimmed()));
    reports_->clear();
    progress_->setValue(0);
    {
        const std::lock_guard<std::mutex> guard(lock_);
        reportLines_.clear();
        refused_.reset();
        loggedIn_ = false;
        result_ = {};
    }
    cancelled_ = false;
    done_ = 0;
    expected_ = 0;
    finishedShown_ = false;
    poll_->start();
    RunWorker(std::move(*options), std::move(folder), std::move(indexes));
    return true;
}

void TUploadDialog::RunWorker(TImapUploadOptions options, TStoreFolder folder,
                              std::optional<std::vector<int32_t>> indexes) {
    const unsigned run = ++run_;
    worker_ = std::thread([this, run, options = std::move(options), folder = std::move(folder),
                           indexes = std::move(indexes), skipCopies = skipDuplicates_->isChecked()] {
        auto report = [this](const std::string& line) {
            const std::lock_guard<std::mutex> guard(lock_);
            reportLines_.append(QString::fromStdString(line));
        };
        TUploadSummary summary;
        try {
            // One login first: a refused certificate or password ends the run before any folder.
            TImapSession probe(options.Connect);
            probe.Logout();
            {
                const std::lock_guard<std::mutex> guard(lock_);
                loggedIn_ = true;
            }
            TImapUploadOptions withReports = options;
            withReports.Refused = report;
            TImapUploadSink sink(std::move(withReports));
            TExportOptions walk;
            walk.Indexes = indexes;
            if (skipCopies) walk.LeaveOutCopies = std::make_shared<TDuplicateFilter>(TDuplicateMode::Text);
            walk.Problem = report;
            walk.Recovered = report;
            walk.Progress = [this](const TExportProgress& progress) {
                done_ = progress.Messages;
                expected_ = progress.ExpectedMessages;
                if (OnMessage) OnMessage(progress.Messages);
                return !cancelled_;
            };
            const TExportTotals totals = ExportTree(folder, sink, walk);
            if (walk.LeaveOutCopies)
                for (const TSkippedCopies& pair : walk.LeaveOutCopies->SkippedByFolder())
                    report(pair.Folder + ": " + std::to_string(pair.Count) + (pair.Count == 1 ? " copy" : " copies") +
                           " left out, first copies in " + pair.FirstFolder);
            for (const std::string& note : sink.Notes()) report(note);
            const TUploadCounts& counts = sink.Counts();
            summary.FoldersCreated = counts.FoldersCreated;
            summary.Uploaded = counts.Uploaded;
            summary.AlreadyThere = counts.AlreadyThere;
            summary.Skipped = totals.Skipped;
            summary.Failed = totals.Errors + counts.Failed;
            summary.Cancelled = totals.Cancelled;
        } catch (const EImapError& error) {
            const std::lock_guard<std::mutex> guard(lock_);
            if (error.RefusedCertificate()) refused_ = *error.RefusedCertificate();
            reportLines_.append(QString::fromStdString(error.Message()));
            ++summary.Failed;
        } catch (const std::exception& error) {
            report(error.what());
            ++summary.Failed;
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            result_ = summary;
        }
        QMetaObject::invokeMethod(this, [this, run] { WorkerFinished(run); }, Qt::QueuedConnection);
    });
}

void TUploadDialog::Cancel() { cancelled_ = true; }

void TUploadDialog::Wait() {
    // The certificate question may start the worker again.
    while (worker_.joinable() && !finishedShown_) {
        WorkerFinished(run_);
    }
}

void TUploadDialog::ShowProgress() {
    const size_t expected = expected_;
    const size_t done = std::min<size_t>(done_, expected);
    progress_->setValue(expected == 0 ? 0 : static_cast<int>(done * kProgressSteps / expected));
    status_->setText(QStringLiteral("Uploading... %1 of %2").arg(done).arg(Counted(expected, "message", "messages")));
}

bool TUploadDialog::AskAboutCertificate(const TCertificateFacts& certificate) {
    const QString text =
        QStringLiteral("The server's certificate is not signed by an authority this computer trusts, or is not "
                       "made out to %1.\n\nSubject: %2\nSHA-256 fingerprint: %3\n\nAccept it only when you know "
                       "that this is your server's certificate (compare the fingerprint). Accept it?")
            .arg(host_->text().trimmed(), QString::fromStdString(certificate.Subject),
                 QString::fromStdString(certificate.Fingerprint));
    return QMessageBox::question(this, QStringLiteral("Certificate"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TUploadDialog::KeepOrForgetPassword() {
    if (!secrets_) return;
    if (!remember_->isChecked()) {
        secrets_->Remove(SecretKey());
        return;
    }
    const QString why = secrets_->Write(SecretKey(), password_->text());
    if (why.isEmpty()) return;
    remember_->setChecked(false);
    const std::lock_guard<std::mutex> guard(lock_);
    reportLines_.append(QStringLiteral("The password was not kept: the desktop's secret store is not reachable (%1).")
                            .arg(why));
}

void TUploadDialog::WorkerFinished(unsigned run) {
    if (run != run_ || finishedShown_ || !worker_.joinable()) return;
    worker_.join();
    finishedShown_ = true;
    poll_->stop();
    std::optional<TCertificateFacts> refused;
    bool loggedIn = false;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        summary_ = result_;
        refused = refused_;
        loggedIn = loggedIn_;
    }
    if (refused && AskCertificate && AskCertificate(*refused)) {
        acceptedFingerprint_ = refused->Fingerprint;
        EnableControls(true);
        Start();
        return;
    }
    if (loggedIn) KeepOrForgetPassword();
    {
        const std::lock_guard<std::mutex> guard(lock_);
        reports_->setPlainText(reportLines_.join(u'\n'));
    }
    EnableControls(true);
    progress_->setValue(loggedIn && !summary_.Cancelled ? kProgressSteps : progress_->value());
    if (!loggedIn)
        status_->setText(refused ? QStringLiteral("The certificate was not accepted; nothing was uploaded.")
                                 : QStringLiteral("Nothing was uploaded (below)."));
    else if (summary_.Cancelled)
        status_->setText(QStringLiteral("Cancelled. Upload again to send the rest. ") + SummaryText());
    else
        status_->setText((summary_.Failed > 0 ? QStringLiteral("Finished with failures (below). ")
                                              : QStringLiteral("Done. ")) +
                         SummaryText());
    cancel_->setText(QStringLiteral("Close"));
    emit Finished();
}

QString TUploadDialog::SummaryText() const {
    return QStringLiteral("Folders created: %1, messages uploaded: %2, already there: %3, skipped: %4, failed: %5.")
        .arg(summary_.FoldersCreated)
        .arg(summary_.Uploaded)
        .arg(summary_.AlreadyThere)
        .arg(summary_.Skipped)
        .arg(summary_.Failed);
}

QString TUploadDialog::StatusText() const { return status_->text(); }

QStringList TUploadDialog::Reports() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return reportLines_;
}

void TUploadDialog::reject() {
    if (Running()) {
        Cancel();
        status_->setText(QStringLiteral("Cancelling... (the messages on their way are confirmed first)"));
        return;
    }
    QDialog::reject();
}

void RunUploadDialog(TExportSources sources, QWidget* parent) {
    TUploadDialog dialog(std::move(sources), DesktopSecretStore(), parent);
    AppHooks().RunModal(dialog);
}

}  // namespace brindle
