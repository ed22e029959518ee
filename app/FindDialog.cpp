#include "app/FindDialog.h"

#include "app/AppHooks.h"
#include "app/CellTexts.h"
#include "components/DefaultHandler.h"
#include "platform/Exceptions.h"
#include "store/EmlFile.h"
#include "store/StoreOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace brindle {
namespace {

constexpr int kProgressSteps = 1000;
const QSize kDialogSize(640, 420);
constexpr int kColumnWidths[] = {110, 160, 220};

enum TFindColumn { colFolder, colSender, colSubject, colDate };
constexpr int kHitRole = Qt::UserRole;
constexpr int kReceivedRole = Qt::UserRole + 1;

// A row of the hit list: the date column sorts by the time received, the others by their
// text without regard to case; rows that tie keep the order they were found in.
class THitItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->header()->sortIndicatorSection() : colFolder;
        int order = 0;
        if (column == colDate) {
            const double mine = data(colDate, kReceivedRole).toDouble();
            const double theirs = other.data(colDate, kReceivedRole).toDouble();
            order = mine < theirs ? -1 : mine > theirs ? 1 : 0;
        } else {
            order = text(column).compare(other.text(column), Qt::CaseInsensitive);
        }
        if (order != 0) return order < 0;
        return data(colFolder, kHitRole).toULongLong() < other.data(colFolder, kHitRole).toULongLong();
    }
};

}  // namespace

QString TFindDialog::FolderOf(const TSearchHit& hit) const {
    if (const auto named = folderNames_.find(hit.File); named != folderNames_.end()) return named->second;
    if (!hit.Folder.empty()) return ShownText(hit.Folder);
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(hit.File))).completeBaseName();
}

std::string ReadHitText(const TSearchHit& hit) {
    if (IsEmlFileName(hit.File)) return ReadEmlFile(hit.File);
    return OpenStore(hit.File)->GetMessageText(hit.Index);
}

TFindDialog::TFindDialog(const std::string& path, QWidget* parent) : QDialog(parent), path_(path) {
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(QStringLiteral("Find in Messages"));
    resize(kDialogSize);
    OpenHit = [this](const TSearchHit& hit) {
        AppHooks().ShowMessageView(TMessageHandle::OfText(ReadHitText(hit)), this, {});
    };

    query_ = new QLineEdit(this);
    query_->setObjectName(QStringLiteral("FindQuery"));
    query_->setClearButtonEnabled(true);
    query_->setPlaceholderText(QStringLiteral("Text in subject, sender, recipients, text or attachment names"));
    findButton_ = new QPushButton(QStringLiteral("Find"), this);
    findButton_->setObjectName(QStringLiteral("FindButton"));
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("FindCancel"));
    cancelButton_->setEnabled(false);
    for (QPushButton* button : {findButton_, cancelButton_}) button->setAutoDefault(false);
    auto* queryRow = new QHBoxLayout;
    queryRow->addWidget(query_, 1);
    queryRow->addWidget(findButton_);
    queryRow->addWidget(cancelButton_);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("FindProgress"));
    progress_->setRange(0, kProgressSteps);
    progress_->setTextVisible(false);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("FindStatus"));

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("FindHits"));
    list_->setHeaderLabels(
        {QStringLiteral("Folder"), QStringLiteral("Sender"), QStringLiteral("Subject"), QStringLiteral("Received")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    for (int column = 0; column < 3; ++column) list_->header()->resizeSection(column, kColumnWidths[column]);
    // No column sorts until its header is clicked: the hits stand in the order found.
    list_->header()->setSectionsClickable(true);
    list_->header()->setSortIndicatorShown(true);
    list_->header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(list_->header(), &QHeaderView::sectionClicked, this, &TFindDialog::SortByColumn);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(queryRow);
    layout->addWidget(progress_);
    layout->addWidget(list_, 1);
    layout->addWidget(status_);

    connect(query_, &QLineEdit::returnPressed, this, &TFindDialog::StartSearch);
    connect(findButton_, &QPushButton::clicked, this, &TFindDialog::StartSearch);
    connect(cancelButton_, &QPushButton::clicked, this, &TFindDialog::StopSearch);
    connect(list_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { RunGuarded([this, item] { OpenItem(item); }, this); });
    connect(this, &QDialog::finished, this, &TFindDialog::StopSearch);
}

TFindDialog::~TFindDialog() { job_.reset(); }

void TFindDialog::Find(const QString& text) {
    query_->setText(text);
    StartSearch();
}

void TFindDialog::StartSearch() {
    // The search it replaces stops and goes without a word; it is deleted from the event
    // loop, since this may run inside its own end.
    if (job_) {
        job_->disconnect(this);
        job_->Cancel();
        job_.release()->deleteLater();
    }
    cancelButton_->setEnabled(false);
    const TSearchQuery query(query_->text().toStdString());
    if (query.Empty()) return;
    list_->clear();
    hits_.clear();
    progress_->setValue(0);
    status_->setText(QStringLiteral("Searching..."));
    cancelButton_->setEnabled(true);
    job_ = std::make_unique<TBackgroundJob>(QStringLiteral("Search"));
    connect(job_.get(), &TBackgroundJob::Progress, this, &TFindDialog::ShowProgress);
    connect(job_.get(), &TBackgroundJob::Finished, this, &TFindDialog::SearchFinished);
    job_->Start([query, path = path_](TJobControl& job) -> std::any {
        TSearchControl control;
        control.Cancel = job.CancelFlag();
        control.Progress = [&job](uint64_t done, uint64_t total) { job.Progress(done, total); };
        return SearchPath(path, query, control);
    });
}

// Cancel and closing: the hits found so far are listed at once.
void TFindDialog::StopSearch() {
    if (job_ && job_->Running()) {
        job_->Cancel();
        job_->Wait();
    }
    cancelButton_->setEnabled(false);
}

void TFindDialog::SearchFinished() {
    std::vector<TSearchHit>* hits = job_->Result<std::vector<TSearchHit>>();
    ShowHits(hits ? std::move(*hits) : std::vector<TSearchHit>(), job_->Cancelled(), job_->Error());
}

void TFindDialog::ShowProgress(quint64 done, quint64 total) {
    if (total > 0) progress_->setValue(static_cast<int>(done * kProgressSteps / total));
}

void TFindDialog::ShowHits(std::vector<TSearchHit> hits, bool cancelled, QString error) {
    cancelButton_->setEnabled(false);
    progress_->setValue(kProgressSteps);
    hits_ = std::move(hits);
    const QLocale locale;
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < hits_.size(); ++i) {
        const TMessageInfo& info = hits_[i].Info;
        auto* item = new THitItem(
            QStringList{FolderOf(hits_[i]), ShownText(SenderOf(info)), ShownText(info.Subject), ReceivedText(info, locale)});
        item->setData(colFolder, kHitRole, static_cast<qulonglong>(i));
        item->setData(colDate, kReceivedRole, static_cast<double>(info.Received));
        items.append(item);
    }
    list_->addTopLevelItems(items);
    if (sortColumn_ >= 0) list_->sortItems(sortColumn_, sortOrder_);
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    QString text = QStringLiteral("%1 message%2 found").arg(hits_.size()).arg(hits_.size() == 1 ? "" : "s");
    if (cancelled) text += QStringLiteral(" (cancelled)");
    if (!error.isEmpty()) text = error;
    status_->setText(text);
    emit SearchEnded();
}

// A column clicked first sorts ascending; clicked again, the other way round.
void TFindDialog::SortByColumn(int column) {
    sortOrder_ = column == sortColumn_ && sortOrder_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortColumn_ = column;
    list_->header()->setSortIndicator(sortColumn_, sortOrder_);
    list_->sortItems(sortColumn_, sortOrder_);
}

void TFindDialog::OpenItem(QTreeWidgetItem* item) {
    if (!item) return;
    const size_t i = item->data(colFolder, kHitRole).toULongLong();
    if (i < hits_.size() && OpenHit) OpenHit(hits_[i]);
}

void TFindDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && Searching()) {
        StopSearch();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace brindle
