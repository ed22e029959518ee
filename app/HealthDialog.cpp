#include "app/HealthDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace brindle {
namespace {

constexpr int kPollMs = 100;

const char* const kColumns[] = {"Folder",   "File",      "Header count", "Reachable",  "Whole",   "Broken",
                                "Deleted",  "Unindexed", "Lost bytes",   "Size",       "Verdict"};

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QStringList RowOf(const TStoreHealth& store) {
    return {Text(store.Folder),
            Text(std::filesystem::path(store.Path).filename().string()),
            store.HeaderCount ? QString::number(*store.HeaderCount) : QStringLiteral("?"),
            QString::number(store.Reachable),
            QString::number(store.ReadWhole),
            QString::number(store.BrokenChains),
            QString::number(store.Deleted),
            QString::number(store.Unindexed),
            QString::number(store.LostBytes),
            QString::number(store.FileSize),
            Text(store.Verdict())};
}

QStringList FolderLines(const TFolderHealth& folder) {
    QStringList lines;
    for (const std::string& damage : folder.ListDamage) lines << QStringLiteral("Folder list damage: ") + Text(damage);
    for (const std::string& missing : folder.MissingStores) lines << QStringLiteral("Listed but missing: ") + Text(missing);
    for (const std::string& stray : folder.StrayFiles) lines << QStringLiteral("Not listed: ") + Text(stray);
    lines << QStringLiteral("Duplicate groups: %1 (%2 copies beyond the first)")
                 .arg(folder.DuplicateGroups)
                 .arg(folder.DuplicateCopies);
    return lines;
}

}  // namespace

THealthDialog::THealthDialog(std::string path, QWidget* parent) : QDialog(parent), path_(std::move(path)) {
    setObjectName(QStringLiteral("HealthDialog"));
    setWindowTitle(QStringLiteral("Mailbox Health"));
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(QStringLiteral("Checking..."), this);
    status_->setObjectName(QStringLiteral("lbHealth"));
    status_->setWordWrap(true);
    status_->setTextFormat(Qt::PlainText);
    layout->addWidget(status_);
    table_ = new QTableWidget(0, static_cast<int>(std::size(kColumns)), this);
    table_->setObjectName(QStringLiteral("tbHealth"));
    QStringList headers;
    for (const char* column : kColumns) headers << QString::fromLatin1(column);
    table_->setHorizontalHeaderLabels(headers);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    export_ = buttons->addButton(QStringLiteral("Export Report..."), QDialogButtonBox::ActionRole);
    export_->setObjectName(QStringLiteral("bExportReport"));
    export_->setEnabled(false);
    connect(export_, &QPushButton::clicked, this, &THealthDialog::ExportReport);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 420);

    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, [this] {
        if (finished_) Show();
    });
    poll_->start();
    worker_ = std::thread([this] {
        std::optional<TFolderHealth> result;
        QString error;
        try {
            std::error_code ignored;
            if (std::filesystem::is_directory(path_, ignored)) {
                result = CheckStoreFolder(path_, [this](size_t, size_t) { return !cancelled_; });
            } else {
                result.emplace();
                result->Path = path_;
                result->Stores.push_back(CheckStore(path_));
            }
        } catch (const std::exception& failure) {
            error = QString::fromStdString(failure.what());
        }
        const std::lock_guard<std::mutex> guard(lock_);
        result_ = std::move(result);
        error_ = error;
        finished_ = true;
    });
}

THealthDialog::~THealthDialog() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

void THealthDialog::Wait() {
    if (worker_.joinable()) worker_.join();
    Show();
}

void THealthDialog::Show() {
    if (shown_) return;
    if (worker_.joinable()) worker_.join();
    shown_ = true;
    poll_->stop();
    if (!result_) {
        status_->setText(QStringLiteral("The check failed: ") + error_);
        emit Finished();
        return;
    }
    const std::vector<TStoreHealth>& stores = result_->Stores;
    table_->setRowCount(static_cast<int>(stores.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const QStringList cells = RowOf(stores[static_cast<size_t>(row)]);
        for (int column = 0; column < cells.size(); ++column)
            table_->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table_->resizeColumnsToContents();
    const size_t damaged = static_cast<size_t>(
        std::count_if(stores.begin(), stores.end(), [](const TStoreHealth& store) { return !store.Healthy(); }));
    QStringList lines;
    lines << (result_->Healthy() ? QStringLiteral("Everything is healthy.")
                                 : QStringLiteral("%1 of %2 stores damaged.").arg(damaged).arg(stores.size()));
    if (stores.size() != 1 || result_->HasList) lines << FolderLines(*result_);
    status_->setText(lines.join(u'\n'));
    export_->setEnabled(true);
    emit Finished();
}

QString THealthDialog::ReportText() const {
    if (!result_) return {};
    QStringList lines;
    lines << QStringLiteral("Health of ") + Text(result_->Path);
    lines << FolderLines(*result_);
    QStringList header;
    for (const char* column : kColumns) header << QString::fromLatin1(column);
    lines << header.join(u'\t');
    for (const TStoreHealth& store : result_->Stores) lines << RowOf(store).join(u'\t');
    return lines.join(u'\n') + u'\n';
}

bool THealthDialog::SaveReport(const QString& path) {
    QFile file(path);
    if (QFileInfo(path).exists() || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        status_->setText(QStringLiteral("Cannot write the report to %1: the file exists or cannot be made.").arg(path));
        return false;
    }
    const QByteArray bytes = ReportText().toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        status_->setText(QStringLiteral("Writing the report to %1 failed.").arg(path));
        return false;
    }
    return true;
}

void THealthDialog::ExportReport() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Report"),
                                                      QStringLiteral("mailbox-health.txt"),
                                                      QStringLiteral("Text files (*.txt)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty()) SaveReport(path);
}

}  // namespace brindle
