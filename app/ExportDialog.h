#pragma once
// File > Export...: the selected messages, the open folder or the whole store folder as .eml
// files, mbox files for Thunderbird or a Maildir, into a chosen folder. The export runs on a
// worker thread with a progress bar and Cancel, and ends with a summary.
#include "mailbox/Duplicates.h"
#include "mailbox/FolderExport.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

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
    void SetTarget(const QString& folder);
    // Leave out each message whose text is that of one exported before in the same run.
    void SetSkipDuplicates(bool skip);

    // Starts the export (the Export button); false, with the reason shown, when it cannot.
    bool Start();
    // Asks a running export to stop after the message it writes.
    void Cancel();
    bool Running() const { return worker_.joinable() && !finishedShown_; }
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
    void ShowProgress();
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
    QTimer* poll_ = nullptr;

    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    std::atomic<size_t> done_{0};
    std::atomic<size_t> expected_{0};
    mutable std::mutex lock_;  // guards reportLines_ and result_
    QStringList reportLines_;
    TExportTotals result_;
    TExportTotals totals_;
    bool finishedShown_ = false;
    std::shared_ptr<TDuplicateFilter> duplicates_;  // with copies left out
};

}  // namespace brindle
