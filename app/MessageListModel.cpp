#include "app/MessageListModel.h"

#include "app/CellTexts.h"
#include "app/Collation.h"
#include "app/ListImages.h"
#include "store/MessageFlags.h"

#include <algorithm>
#include <numeric>

namespace brindle {
namespace {

bool IsUnread(const TMessageInfo& info) { return (info.Flags & kFlagRead) == 0; }

}  // namespace

TMessageListModel::TMessageListModel(QObject* parent) : QAbstractTableModel(parent) { SetListFont(QFont()); }

void TMessageListModel::SetListFont(const QFont& font) {
    boldFont_ = font;
    boldFont_.setBold(true);
}

void TMessageListModel::Clear() {
    if (rows_.empty()) return;
    beginRemoveRows(QModelIndex(), 0, static_cast<int>(rows_.size()) - 1);
    rows_.clear();
    rows_.shrink_to_fit();
    endRemoveRows();
}

void TMessageListModel::Fill(int32_t count) {
    Clear();
    if (count <= 0) return;
    beginInsertRows(QModelIndex(), 0, count - 1);
    rows_.resize(static_cast<size_t>(count));
    std::iota(rows_.begin(), rows_.end(), 0);
    endInsertRows();
}

int TMessageListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TMessageListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

Qt::ItemFlags TMessageListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int TMessageListModel::ImageIndex(const TMessageInfo& info, int column) {
    switch (column) {
    case colPriority:
        if (info.Priority == kPriorityHigh) return kImagePriorityHigh;
        if (info.Priority == kPriorityLow) return kImagePriorityLow;
        return -1;
    case colAttachment: return (info.Flags & kFlagHasAttachment) ? kImageAttachment : -1;
    case colFlag: return (info.Flags & kFlagFlagged) ? kImageFlag : -1;
    case colSender: return IsUnread(info) ? kImageUnread : kImageRead;
    default: return -1;
    }
}

QString TMessageListModel::CellText(const TMessageInfo& info, int column) const {
    switch (column) {
    case colSender: return ShownText(SenderOf(info));
    case colSubject: return ShownText(info.Subject);
    case colReceived: return ReceivedText(info, locale_);
    case colSize: return SizeText(info.Size, locale_);
    default: return QString();
    }
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const {
    ++dataCalls_;
    if (!index.isValid() || !reader_ || index.row() >= static_cast<int>(rows_.size())) return QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::FontRole) return QVariant();
    TMessageInfo info = reader_->GetMessageInfo(MessageIndex(index.row()));
    switch (role) {
    case Qt::DisplayRole: return CellText(info, index.column());
    case Qt::DecorationRole: {
        int image = ImageIndex(info, index.column());
        return image < 0 ? QVariant() : QVariant(ListImage(image));
    }
    default: return IsUnread(info) ? QVariant(boldFont_) : QVariant();
    }
}

QVariant TMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        switch (section) {
        case colSender: return QStringLiteral("Sender");
        case colSubject: return QStringLiteral("Subject");
        case colReceived: return QStringLiteral("Received");
        case colSize: return QStringLiteral("Size [B]");
        default: return QVariant();
        }
    case Qt::DecorationRole:
        switch (section) {
        case colPriority: return ListImage(kImagePriorityHigh);
        case colAttachment: return ListImage(kImageAttachment);
        case colFlag: return ListImage(kImageFlag);
        default: return QVariant();
        }
    case Qt::TextAlignmentRole:
        return section == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::InitialSortOrderRole: return Qt::AscendingOrder;
    default: return QVariant();
    }
}

TSortKey TMessageListModel::SortKeyOf(const TMessageInfo& info, int column, const QCollator& collator) {
    switch (column) {
    case colPriority: return static_cast<int64_t>(static_cast<int32_t>(info.Priority));
    case colAttachment: return static_cast<int64_t>(info.Flags & kFlagHasAttachment);
    case colFlag: return static_cast<int64_t>(info.Flags & kFlagFlagged);
    case colSender: return LocaleSortKey(collator, ShownText(SenderOf(info)));
    case colSubject: return LocaleSortKey(collator, ShownText(info.Subject));
    case colReceived: return info.Received;
    default: return static_cast<int64_t>(static_cast<int32_t>(info.Size));
    }
}

void TMessageListModel::SortRows(int column, Qt::SortOrder order) {
    if (!reader_ || rows_.empty()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QCollator collator = LocaleCollator(true);
    std::vector<TSortKey> keys;
    keys.reserve(rows_.size());
    for (int32_t message : rows_) keys.push_back(SortKeyOf(reader_->GetMessageInfo(message), column, collator));

    std::vector<int> newToOld(rows_.size());
    std::iota(newToOld.begin(), newToOld.end(), 0);
    int wanted = order == Qt::AscendingOrder ? -1 : 1;
    std::stable_sort(newToOld.begin(), newToOld.end(),
                     [&](int a, int b) { return CompareSortKeys(keys[a], keys[b]) == wanted; });

    std::vector<int32_t> sorted(rows_.size());
    std::vector<int> oldToNew(rows_.size());
    for (size_t i = 0; i < newToOld.size(); ++i) {
        sorted[i] = rows_[newToOld[i]];
        oldToNew[newToOld[i]] = static_cast<int>(i);
    }
    rows_ = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) after.append(this->index(oldToNew[index.row()], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace brindle
