#include "app/FolderPane.h"

#include "platform/FileNames.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QStandardItemModel>
#include <QStyle>

#include <algorithm>
#include <iterator>

namespace brindle {
namespace {

constexpr int kNodeRole = Qt::UserRole + 1;
constexpr int kErrorRole = Qt::UserRole + 2;
constexpr int kOrderRole = Qt::UserRole + 3;
constexpr int kNameWidth = 150;

// A theme icon where the desktop has one, else a standard icon of the style.
QIcon ThemedIcon(const char* themeName, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(fallback));
}

// Siblings show as mail programs list them: Inbox, Outbox, Sent Items, Deleted Items, Drafts,
// then the others by name.
QString OrderKey(const TFolderNode& node) {
    static constexpr std::string_view kSpecialOrder[] = {"inbox", "outbox", "sent", "deleted", "drafts"};
    const std::string_view special = SpecialFolderName(node.Special);
    int rank = static_cast<int>(std::size(kSpecialOrder));
    for (int i = 0; i < rank; ++i)
        if (special == kSpecialOrder[i]) rank = i;
    return QString::number(rank) + u'\t' + QString::fromStdString(node.Name).toCaseFolded();
}

// The whole name, which a narrow pane may cut, and the store file or its absence.
QString NodeTip(const TFolderNode& node) {
    const QString name = QString::fromStdString(node.Name);
    return node.File ? QStringLiteral("%1 (%2)").arg(name, QString::fromStdString(*node.File))
                     : name + QStringLiteral(": this folder has no store file");
}

}  // namespace

QString StoreFolderOfPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return info.absoluteFilePath();
    if (info.fileName().compare(QStringLiteral("Folders.dbx"), Qt::CaseInsensitive) == 0) return info.absolutePath();
    return QString();
}

TFolderPane::TFolderPane(QWidget* parent) : QTreeView(parent), model_(new QStandardItemModel(this)) {
    setObjectName(QStringLiteral("FolderPane"));
    model_->setHorizontalHeaderLabels({QStringLiteral("Folder"), QStringLiteral("Count")});
    setModel(model_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(colName, QHeaderView::Stretch);
    header()->setSectionResizeMode(colCount, QHeaderView::ResizeToContents);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (current.isValid()) emit FolderChosen(current.siblingAtColumn(colName).data(kNodeRole).toInt());
    });
    connect(this, &QTreeView::activated, this, [this](const QModelIndex& index) {
        emit FolderActivated(index.siblingAtColumn(colName).data(kNodeRole).toInt());
    });
    setMinimumWidth(kNameWidth);
}

QString TFolderPane::Caption(const TFolderNode& node) {
    const QString name = QString::fromStdString(node.Name);
    return node.Unread.value_or(0) > 0 ? QStringLiteral("%1 (%2)").arg(name).arg(*node.Unread) : name;
}

QIcon TFolderPane::NodeIcon(const TFolderNode& node) const {
    const std::string_view special = SpecialFolderName(node.Special);
    if (special == "inbox") return ThemedIcon("mail-folder-inbox", QStyle::SP_DirHomeIcon);
    if (special == "outbox") return ThemedIcon("mail-folder-outbox", QStyle::SP_ArrowUp);
    if (special == "sent") return ThemedIcon("mail-folder-sent", QStyle::SP_ArrowRight);
    if (special == "deleted") return ThemedIcon("user-trash", QStyle::SP_TrashIcon);
    if (special == "drafts") return ThemedIcon("document-edit", QStyle::SP_FileDialogDetailedView);
    return ThemedIcon("folder", QStyle::SP_DirIcon);
}

void TFolderPane::Clear() {
    selectionModel()->clearCurrentIndex();
    model_->removeRows(0, model_->rowCount());
    items_.clear();
    folder_.reset();
}

void TFolderPane::SetFolder(TStoreFolder folder) {
    const QSignalBlocker quiet(selectionModel());
    Clear();
    folder_ = std::move(folder);
    // Tree order: the parent of a node of depth d is the last node seen at depth d - 1.
    std::vector<QStandardItem*> lastAtDepth;
    for (size_t k = 0; k < folder_->Nodes.size(); ++k) {
        const TFolderNode& node = folder_->Nodes[k];
        auto* name = new QStandardItem(NodeIcon(node), Caption(node));
        name->setData(static_cast<int>(k), kNodeRole);
        name->setData(OrderKey(node), kOrderRole);
        name->setToolTip(NodeTip(node));
        if (!node.File) name->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
        auto* count = new QStandardItem(node.Count ? QString::number(*node.Count) : QString());
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const size_t depth = std::min<size_t>(node.Depth, lastAtDepth.size());
        QStandardItem* parent = depth == 0 ? model_->invisibleRootItem() : lastAtDepth[depth - 1];
        parent->appendRow({name, count});
        ShowUnread(name, node);
        lastAtDepth.resize(depth);
        lastAtDepth.push_back(name);
        items_.push_back(name);
    }
    model_->setSortRole(kOrderRole);
    model_->sort(colName);
    expandAll();
}

// The caption with the unread count, and the row bold while there is unread mail.
void TFolderPane::ShowUnread(QStandardItem* name, const TFolderNode& node) {
    name->setText(Caption(node));
    QFont shown = font();
    shown.setBold(node.Unread.value_or(0) > 0);
    name->setFont(shown);
    if (QStandardItem* count = model_->itemFromIndex(name->index().siblingAtColumn(colCount))) count->setFont(shown);
}

void TFolderPane::SetNodeUnread(int k, uint32_t unread) {
    QStandardItem* item = ItemOfNode(k);
    if (!item || folder_->Nodes[k].Unread) return;
    folder_->Nodes[k].Unread = unread;
    ShowUnread(item, folder_->Nodes[k]);
}

int TFolderPane::NamesWidth() const {
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int count = std::max(sizeHintForColumn(colCount), header()->sectionSizeHint(colCount));
    return std::max(sizeHintForColumn(colName), header()->sectionSizeHint(colName)) + count + 2 * frameWidth() +
           scrollBar;
}

QStandardItem* TFolderPane::ItemOfNode(int k) const {
    return k >= 0 && static_cast<size_t>(k) < items_.size() ? items_[k] : nullptr;
}

QModelIndex TFolderPane::IndexOfNode(int k, int column) const {
    QStandardItem* item = ItemOfNode(k);
    return item ? item->index().siblingAtColumn(column) : QModelIndex();
}

int TFolderPane::CurrentNode() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.siblingAtColumn(colName).data(kNodeRole).toInt() : -1;
}

void TFolderPane::SelectNode(int k) {
    const QModelIndex index = IndexOfNode(k);
    if (index.isValid()) setCurrentIndex(index);
}

int TFolderPane::FirstNodeToOpen() const {
    if (!folder_) return -1;
    int first = -1;
    for (size_t k = 0; k < folder_->Nodes.size(); ++k) {
        const TFolderNode& node = folder_->Nodes[k];
        if (!node.File) continue;
        if (SpecialFolderName(node.Special) == "inbox") return static_cast<int>(k);
        if (first < 0) first = static_cast<int>(k);
    }
    return first;
}

QString TFolderPane::StorePath(int k) const {
    if (!folder_ || !ItemOfNode(k) || !folder_->Nodes[k].File) return QString();
    return QFile::decodeName(QByteArray::fromStdString(JoinPath(folder_->Path, *folder_->Nodes[k].File)));
}

void TFolderPane::SetNodeError(int k, const QString& text) {
    QStandardItem* item = ItemOfNode(k);
    if (!item || item->data(kErrorRole).toString() == text) return;
    item->setData(text, kErrorRole);
    const TFolderNode& node = folder_->Nodes[k];
    item->setIcon(text.isEmpty() ? NodeIcon(node) : style()->standardIcon(QStyle::SP_MessageBoxCritical));
    item->setToolTip(text.isEmpty() ? NodeTip(node) : text);
}

QString TFolderPane::NodeError(int k) const {
    QStandardItem* item = ItemOfNode(k);
    return item ? item->data(kErrorRole).toString() : QString();
}

}  // namespace brindle
