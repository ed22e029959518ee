#pragma once
// File > Mailbox Health...: the health report of the open store folder (or store) as a table,
// one row per store with its verdict, the store folder's own findings above it, and a button
// that saves the report as a text file. The check runs on a worker thread.
#include "mailbox/Health.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace brindle {

class THealthDialog : public QDialog {
    Q_OBJECT

public:
    // path: a store folder or one store file.
    explicit THealthDialog(std::string path, QWidget* parent = nullptr);
    ~THealthDialog() override;

    // Waits for the check and shows its result at once (for tests).
    void Wait();
    bool Done() const { return shown_; }
    const QTableWidget* Table() const { return table_; }
    // The report as text: the store folder's findings, then one block per store.
    QString ReportText() const;
    // Writes ReportText to path (never over an existing file); false with the reason shown.
    bool SaveReport(const QString& path);

signals:
    void Finished();

private:
    void Show();
    void ExportReport();

    const std::string path_;
    QLabel* status_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* export_ = nullptr;
    QTimer* poll_ = nullptr;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> finished_{false};
    std::mutex lock_;  // guards result_ until finished_
    std::optional<TFolderHealth> result_;
    QString error_;
    bool shown_ = false;
};

}  // namespace brindle
