#include "app/ExportDialog.h"

#include "app/AppHooks.h"
#include "app/FolderChooser.h"
#include "components/LastFolders.h"
#include "app/JobPanel.h"
#include "mailbox/AttachmentExport.h"
#include "platform/Exceptions.h"
#include "platform/TargetFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace brindle {
namespace {

constexpr int kProgressSteps = 1000;
// The format box's value for saving only the attachments of the messages.
constexpr int kAttachmentsOnly = -1;

QString Counted(size_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

}  // namespace

TExportDialog::TExportDialog(TExportSources sources, QWidget* parent) : QDialog(parent), sources_(std::move(sources)) {
    setObjectName(QStringLiteral("dlgExport"));
    setWindowTitle(QStringLiteral("Export"));
    BuildControls();
}

TExportDialog::~TExportDialog() { job_.reset(); }

void TExportDialog::BuildControls() {
    auto* layout = new QVBoxLayout(this);
    const QString captions[] = {QStringLiteral("The &selected messages (%1)").arg(sources_.Selected.size()),
                                QStringLiteral("&This folder"), QStringLiteral("The &whole store folder")};
    AddScopeBox(*this, *layout, QStringLiteral("Export"), captions, sources_, scopeButtons_);

    auto* form = new QFormLayout;
    format_ = new QComboBox(this);
    format_->setObjectName(QStringLiteral("cbFormat"));
    format_->addItem(QStringLiteral(".eml files"), static_cast<int>(TExportFormat::Eml));
    format_->addItem(QStringLiteral("mbox (for Thunderbird)"), static_cast<int>(TExportFormat::Mbox));
    format_->addItem(QStringLiteral("Maildir"), static_cast<int>(TExportFormat::Maildir));
    format_->addItem(QStringLiteral("Attachments only"), kAttachmentsOnly);
    form->addRow(QStringLiteral("&Format:"), format_);
    auto* targetRow = new QHBoxLayout;
    target_ = new QLineEdit(this);
    target_->setObjectName(QStringLiteral("edTarget"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setObjectName(QStringLiteral("bBrowse"));
    connect(browse, &QPushButton::clicked, this, &TExportDialog::BrowseTarget);
    targetRow->addWidget(target_);
    targetRow->addWidget(browse);
    form->addRow(QStringLiteral("&Into folder:"), targetRow);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(targetRow))) label->setBuddy(target_);
    layout->addLayout(form);
    skipDuplicates_ = new QCheckBox(QStringLiteral("Leave out copies of messages already exported"), this);
    skipDuplicates_->setObjectName(QStringLiteral("cbSkipDuplicates"));
    layout->addWidget(skipDuplicates_);

    const TJobPanel panel =
        AddJobPanel(*this, *layout, kProgressSteps, QStringLiteral("pbExport"), QStringLiteral("&Export"),
                    QStringLiteral("bExport"));
    progress_ = panel.Progress;
    status_ = panel.Status;
    reports_ = panel.Reports;
    start_ = panel.Start;
    cancel_ = panel.Cancel;
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });

    SetScope(ScopeAvailable(TScope::StoreFolder) ? TScope::StoreFolder : TScope::Folder);
    start_->setEnabled(ScopeAvailable(TScope::Folder) || ScopeAvailable(TScope::StoreFolder));
    resize(460, 380);
}

bool TExportDialog::ScopeAvailable(TScope scope) const { return ScopeAvailableIn(sources_, scope); }

void TExportDialog::SetScope(TScope scope) {
    if (ScopeAvailable(scope)) scopeButtons_[static_cast<int>(scope)]->setChecked(true);
}

TExportDialog::TScope TExportDialog::Scope() const {
    for (int i = 0; i < 3; ++i)
        if (scopeButtons_[i]->isChecked()) return static_cast<TScope>(i);
    return TScope::Folder;
}

void TExportDialog::SetFormat(TExportFormat format) {
    format_->setCurrentIndex(format_->findData(static_cast<int>(format)));
}

void TExportDialog::SetAttachmentsOnly() { format_->setCurrentIndex(format_->findData(kAttachmentsOnly)); }

void TExportDialog::SetTarget(const QString& folder) { target_->setText(folder); }

void TExportDialog::SetSkipDuplicates(bool skip) { skipDuplicates_->setChecked(skip); }

// Browse... starts at the typed folder, else at the one the last export went to.
void TExportDialog::BrowseTarget() {
    QString folder = target_->text().isEmpty() ? LastFolder(TFolderUse::Export) : target_->text();
    if (!ChooseFolder(QStringLiteral("Export into folder"), QString(), folder, this)) return;
    target_->setText(folder);
    RememberFolder(TFolderUse::Export, folder);
}

TExportOptions TExportDialog::OptionsForWorker(std::vector<int32_t>* indexes) {
    TExportOptions options;
    attachmentsOnly_ = format_->currentData().toInt() == kAttachmentsOnly;
    if (!attachmentsOnly_) options.Format = static_cast<TExportFormat>(format_->currentData().toInt());
    if (indexes) options.Indexes = *indexes;
    auto report = [this](const std::string& line) {
        const std::lock_guard<std::mutex> guard(lock_);
        reportLines_.append(QString::fromStdString(line));
    };
    options.Problem = report;
    options.Recovered = report;
    if (skipDuplicates_->isChecked()) {
        // Where the copies' first copies went is told with the reports at the end.
        duplicates_ = std::make_shared<TDuplicateFilter>(TDuplicateMode::Text);
        options.LeaveOutCopies = duplicates_;
    } else {
        duplicates_.reset();
    }
    return options;
}

// A folder that is not there yet is made, all its missing levels, when the user agrees.
bool TExportDialog::TargetFolderReady(const QString& target) {
    const QFileInfo folder(target);
    if (folder.isDir()) return true;
    if (target.isEmpty() || folder.exists() || folder.isSymLink()) {
        status_->setText(QStringLiteral("Choose a folder to export into."));
        return false;
    }
    const QString shown = QDir::toNativeSeparators(folder.absoluteFilePath());
    if (!AppHooks().AskYesNo(this, QStringLiteral("Export"),
                             QStringLiteral("The folder %1 does not exist. Create it?").arg(shown))) {
        status_->setText(QStringLiteral("The folder %1 does not exist.").arg(shown));
        return false;
    }
    try {
        MakeTargetFolder(QFile::encodeName(target).toStdString(), TMissingLevels::All);
    } catch (const Exception& error) {
        status_->setText(QString::fromStdString(error.Message()));
        return false;
    }
    return true;
}

bool TExportDialog::Start() {
    if (job_) return false;
    const QString target = target_->text();
    if (!TargetFolderReady(target)) return false;
    RememberFolder(TFolderUse::Export, target);
    const TScope scope = Scope();
    if (!ScopeAvailable(scope)) return false;
    TStoreFolder folder = scope == TScope::StoreFolder ? *sources_.StoreFolder : *sources_.OpenFolder;
    std::vector<int32_t> selected = sources_.Selected;
    TExportOptions options = OptionsForWorker(scope == TScope::Selected ? &selected : nullptr);
    const std::string out = QFile::encodeName(target).toStdString();

    for (QRadioButton* button : scopeButtons_) button->setEnabled(false);
    format_->setEnabled(false);
    skipDuplicates_->setEnabled(false);
    target_->setEnabled(false);
    start_->setEnabled(false);
    status_->setText(QStringLiteral("Exporting..."));
    reports_->clear();
    progress_->setValue(0);
    job_ = std::make_unique<TBackgroundJob>(QStringLiteral("Export"));
    connect(job_.get(), &TBackgroundJob::Progress, this, &TExportDialog::ShowProgress);
    connect(job_.get(), &TBackgroundJob::Finished, this, &TExportDialog::WorkerFinished);
    job_->Start([this, attachmentsOnly = attachmentsOnly_, folder = std::move(folder), options = std::move(options),
                 out](TJobControl& job) mutable -> std::any {
        options.Progress = [&job](const TExportProgress& progress) {
            return job.Progress(progress.Messages, progress.ExpectedMessages);
        };
        TExportTotals totals;
        try {
            if (attachmentsOnly) {
                TAttachmentSink sink(out, options.Problem);
                totals = ExportTree(folder, sink, options);
                attachmentsSaved_ = sink.Totals().Attachments;
            } else {
                totals = ExportStoreFolder(folder, out, options);
            }
        } catch (const std::exception& error) {
            ++totals.Errors;
            options.Problem(error.what());
        }
        return totals;
    });
    return true;
}

void TExportDialog::Cancel() {
    if (job_) job_->Cancel();
}

void TExportDialog::Wait() {
    if (job_) job_->Wait();
}

void TExportDialog::ShowProgress(quint64 messages, quint64 expected) {
    const quint64 done = std::min(messages, expected);
    progress_->setValue(expected == 0 ? 0 : static_cast<int>(done * kProgressSteps / expected));
    status_->setText(QStringLiteral("Exporting... %1").arg(Counted(messages, "message", "messages")));
}

void TExportDialog::WorkerFinished() {
    if (finishedShown_) return;
    finishedShown_ = true;
    if (const TExportTotals* totals = job_->Result<TExportTotals>()) totals_ = *totals;
    {
        const std::lock_guard<std::mutex> guard(lock_);
        if (duplicates_)
            for (const TSkippedCopies& pair : duplicates_->SkippedByFolder())
                reportLines_.append(QStringLiteral("%1: %2 left out, first copies in %3")
                                        .arg(QString::fromStdString(pair.Folder),
                                             Counted(pair.Count, "copy", "copies"),
                                             QString::fromStdString(pair.FirstFolder)));
        reports_->setPlainText(reportLines_.join(u'\n'));
    }
    progress_->setValue(kProgressSteps);
    status_->setText((totals_.Cancelled ? QStringLiteral("Cancelled after ") : QStringLiteral("Done: ")) +
                     SummaryText());
    cancel_->setText(QStringLiteral("Close"));
    emit Finished();
}

QString TExportDialog::SummaryText() const {
    QString text = attachmentsOnly_ ? Counted(attachmentsSaved_, "attachment", "attachments") + QStringLiteral(" of ")
                                    : QString();
    text += Counted(totals_.Folders, "folder", "folders") + QStringLiteral(", ") +
                   Counted(totals_.Messages, "message", "messages") + QStringLiteral(", ") +
                   Counted(totals_.Errors, "error", "errors");
    if (totals_.Recovered > 0) text += QStringLiteral(", %1 recovered by scan").arg(totals_.Recovered);
    if (totals_.Skipped > 0)
        text += QStringLiteral(", %1 skipped").arg(duplicates_ ? Counted(totals_.Skipped, "duplicate", "duplicates")
                                                             : QString::number(totals_.Skipped));
    return text;
}

QStringList TExportDialog::Reports() const {
    const std::lock_guard<std::mutex> guard(lock_);
    return reportLines_;
}

void TExportDialog::reject() {
    if (Running()) {
        Cancel();
        status_->setText(QStringLiteral("Cancelling..."));
        return;
    }
    QDialog::reject();
}

bool ScopeAvailableIn(const TExportSources& sources, TExportDialog::TScope scope) {
    using TScope = TExportDialog::TScope;
    switch (scope) {
        case TScope::Selected: return sources.OpenFolder && !sources.Selected.empty();
        case TScope::Folder: return sources.OpenFolder.has_value();
        case TScope::StoreFolder: return sources.StoreFolder.has_value();
    }
    return false;
}

void AddScopeBox(QWidget& owner, QBoxLayout& layout, const QString& title, const QString (&captions)[3],
                 const TExportSources& sources, QRadioButton* (&buttons)[3]) {
    auto* scopeBox = new QGroupBox(title, &owner);
    auto* scopeLayout = new QVBoxLayout(scopeBox);
    const char* names[] = {"rbSelected", "rbFolder", "rbStoreFolder"};
    for (int i = 0; i < 3; ++i) {
        buttons[i] = new QRadioButton(captions[i], scopeBox);
        buttons[i]->setObjectName(QString::fromLatin1(names[i]));
        buttons[i]->setEnabled(ScopeAvailableIn(sources, static_cast<TExportDialog::TScope>(i)));
        scopeLayout->addWidget(buttons[i]);
    }
    layout.addWidget(scopeBox);
}

}  // namespace brindle
