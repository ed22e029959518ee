#pragma once
// File > Export...: the selected messages, the open folder or the whole store folder as .eml
// files, mbox files for Thunderbird, a Maildir or only their attachments, into a chosen folder. The export runs on a
// worker thread with a progress bar and Cancel, and ends with a summary.
#include "components/BackgroundJob.h"
#include "mailbox/Duplicates.h"
#include "mailbox/FolderExport.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <memory>
#include <vector>

class QBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace brindle {

// What can be exported from the window.
struct TExportSources {
    // The open store and its folder name; none when no store is open.
    std::optional<TStoreFolder> OpenFolder;  // one node at the top
    std::vector<int32_t> Selected;           // message indexes of the selected rows
    std::optional<TStoreFolder> StoreFolder;
};

class TExportDialog : public QDialog {
    Q_OBJECT

public:
    enum class TScope { Selected, Folder, StoreFolder };

    explicit TExportDialog(TExportSources sources, QWidget* parent = nullptr);
    // Stops a running export and waits for it.
    ~TExportDialog() override;

    void SetScope(TScope scope);
    TScope Scope() const;
    bool ScopeAvailable(TScope scope) const;
    void SetFormat(TExportFormat format);
    // "Attachments only": every attachment of the messages, a folder per store folder.
    void SetAttachmentsOnly();
    void SetTarget(const QString& folder);
    // Leave out each message whose text is that of one exported before in the same run.
    void SetSkipDuplicates(bool skip);

    // Starts the export (the Export button); false, with the reason shown, when it cannot.
    bool Start();
    // Asks a running export to stop after the message it writes.
    void Cancel();
    bool Running() const { return job_ && job_->Running(); }
    // Waits for the worker and shows its end at once (for tests and closing).
    void Wait();

    const TExportTotals& Totals() const { return totals_; }
    // "3 folders, 12 messages, 1 error, 1 recovered by scan".
    QString SummaryText() const;
    // Problems and recovered folders as the worker told them.
    QStringList Reports() const;

signals:
    void Finished();

protected:
    void reject() override;

private:
    void BuildControls();
    void BrowseTarget();
    bool TargetFolderReady(const QString& target);
    void ShowProgress(quint64 done, quint64 expected);
    void WorkerFinished();
    TExportOptions OptionsForWorker(std::vector<int32_t>* indexes);

    TExportSources sources_;
    QRadioButton* scopeButtons_[3] = {};
    QComboBox* format_ = nullptr;
    QCheckBox* skipDuplicates_ = nullptr;
    QLineEdit* target_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    QPlainTextEdit* reports_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;

    std::unique_ptr<TBackgroundJob> job_;
    mutable std::mutex lock_;  // guards reportLines_
    QStringList reportLines_;
    TExportTotals totals_;
    bool finishedShown_ = false;
    bool attachmentsOnly_ = false;           // set before the worker starts
    std::atomic<size_t> attachmentsSaved_{0};
    std::shared_ptr<TDuplicateFilter> duplicates_;  // with copies left out
};

// Whether sources hold what scope takes.
bool ScopeAvailableIn(const TExportSources& sources, TExportDialog::TScope scope);

// A group box titled title with the three scope choices in TScope's order (named rbSelected,
// rbFolder and rbStoreFolder), each enabled when sources hold what it takes.
void AddScopeBox(QWidget& owner, QBoxLayout& layout, const QString& title, const QString (&captions)[3],
                 const TExportSources& sources, QRadioButton* (&buttons)[3]);

}  // namespace brindle
