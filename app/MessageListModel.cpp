#include "app/MessageListModel.h"

#include "app/CellTexts.h"
#include "app/Collation.h"
#include "app/ListImages.h"
#include "store/MessageFlags.h"

#include <QBrush>
#include <QDateTime>

#include <algorithm>
#include <numeric>

namespace brindle {
namespace {

constexpr double kUnixEpochDay = 25569;  // 1970-01-01 in days since 1899-12-30
constexpr double kMillisecondsPerDay = 86'400'000;
const QColor kFoundTextColor(128, 128, 128);

bool IsUnread(const TMessageInfo& info) { return (info.Flags & kFlagRead) == 0; }

// A found row's number: the position in the found messages, counted down from -1.
int32_t FoundRowNumber(size_t position) { return -static_cast<int32_t>(position) - 1; }

// Days since 1899-12-30 (UTC) of an RFC 5322 date, or 0 when it cannot be read.
TDateTime DateValueOf(const std::string& date) {
    const QDateTime when = QDateTime::fromString(QString::fromStdString(date).simplified(), Qt::RFC2822Date);
    if (!when.isValid()) return 0;
    return kUnixEpochDay + static_cast<double>(when.toMSecsSinceEpoch()) / kMillisecondsPerDay;
}

QString KindDescription(const TFoundMessage& found) {
    QString text;
    switch (found.Kind) {
        case TFoundKind::Indexed: text = QStringLiteral("Message of the index"); break;
        case TFoundKind::Orphaned: text = QStringLiteral("Unindexed message"); break;
        case TFoundKind::Deleted: text = QStringLiteral("Deleted message"); break;
        case TFoundKind::Partial: text = QStringLiteral("Partial message (it breaks off)"); break;
    }
    if (found.LostBytes > 0) text += QStringLiteral(", %1 bytes lost").arg(found.LostBytes);
    return text;
}

}  // namespace

TMessageInfo TMessageListModel::FoundInfo(const TRescuedMessage& message) {
    TMessageInfo info;
    info.Flags = kFlagRead;
    info.Priority = kPriorityNormal;
    info.Subject = message.Header.Subject;
    info.SenderName = message.Header.From;
    info.MessageID = message.Header.MessageID;
    info.Received = DateValueOf(message.Header.Date);
    info.DateText = message.Header.Date;
    info.Size = static_cast<uint32_t>(std::min<uint64_t>(message.Found.Size, UINT32_MAX));
    return info;
}

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
    foundRows_ = 0;
    endRemoveRows();
}

void TMessageListModel::AddFoundRows(const std::vector<size_t>& positions) {
    if (positions.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(positions.size()) - 1);
    for (size_t position : positions) rows_.push_back(FoundRowNumber(position));
    foundRows_ += static_cast<int>(positions.size());
    endInsertRows();
}

void TMessageListModel::RemoveFoundRows() {
    // Runs of found rows, removed from the last one up so that earlier row numbers hold.
    for (int end = static_cast<int>(rows_.size()); end > 0;) {
        if (rows_[static_cast<size_t>(end - 1)] >= 0) {
            --end;
            continue;
        }
        int begin = end - 1;
        while (begin > 0 && rows_[static_cast<size_t>(begin - 1)] < 0) --begin;
        beginRemoveRows(QModelIndex(), begin, end - 1);
        rows_.erase(rows_.begin() + begin, rows_.begin() + end);
        foundRows_ -= end - begin;
        endRemoveRows();
        end = begin;
    }
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

void TMessageListModel::SetCodePage(const std::string& codePage) {
    codePage_ = codePage;
    lossy_.clear();
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1), {Qt::DisplayRole});
}

TShownSummary TMessageListModel::ShownTexts(int32_t index, const TMessageInfo& info) const {
    if (!reader_ || !MayHaveLostCharacters(info)) return ShownSummary(info, {}, codePage_);
    auto cached = lossy_.find(index);
    if (cached != lossy_.end()) return cached->second;
    std::string header;
    try {
        header = reader_->GetMessageHeader(index);
    } catch (const std::exception&) {
        // The summary's own texts are shown.
    }
    return lossy_.emplace(index, ShownSummary(info, header, codePage_)).first->second;
}

QString TMessageListModel::RowCellText(int32_t index, const TMessageInfo& info, int column) const {
    if (column != colSender && column != colSubject) return CellText(info, column);
    const TShownSummary shown = ShownTexts(index, info);
    return QString::fromStdString(column == colSender ? shown.Sender : shown.Subject);
}

std::optional<TMessageInfo> TMessageListModel::RowInfo(int row) const {
    if (!IsFoundRow(row)) return reader_ ? std::optional(reader_->GetMessageInfo(MessageIndex(row))) : std::nullopt;
    if (!found_ || FoundPosition(row) >= found_->size()) return std::nullopt;
    return FoundInfo((*found_)[FoundPosition(row)]);
}

QVariant TMessageListModel::FoundRowData(const TRescuedMessage& message, int column, int role) const {
    const bool indexed = message.Found.Kind == TFoundKind::Indexed;
    switch (role) {
        case Qt::DisplayRole: return CellText(FoundInfo(message), column);
        case Qt::DecorationRole:
            if (column != colSender) return QVariant();
            return ListImage(indexed ? kImageRead : kImageRecovered);
        case Qt::ForegroundRole: return indexed ? QVariant() : QVariant(QBrush(kFoundTextColor));
        case Qt::ToolTipRole: return KindDescription(message.Found);
        default: return QVariant();
    }
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const {
    ++dataCalls_;
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return QVariant();
    if (role == Qt::TextAlignmentRole)
        return index.column() == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (IsFoundRow(index.row())) {
        if (!found_ || FoundPosition(index.row()) >= found_->size()) return QVariant();
        return FoundRowData((*found_)[FoundPosition(index.row())], index.column(), role);
    }
    if (!reader_) return QVariant();
    if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::FontRole) return QVariant();
    TMessageInfo info = reader_->GetMessageInfo(MessageIndex(index.row()));
    switch (role) {
        case Qt::DisplayRole: return RowCellText(MessageIndex(index.row()), info, index.column());
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
            return section == colSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
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
    if (rows_.empty()) return;
    std::vector<TSortKey> keys;
    keys.reserve(rows_.size());
    QCollator collator = LocaleCollator(true);
    const bool byText = column == colSender || column == colSubject;
    size_t headerReads = 0;
    for (int row = 0; row < static_cast<int>(rows_.size()); ++row) {
        std::optional<TMessageInfo> info = RowInfo(row);
        if (!info) return;
        if (!byText || IsFoundRow(row)) {
            keys.push_back(SortKeyOf(*info, column, collator));
            continue;
        }
        const int32_t index = MessageIndex(row);
        const bool lossy = MayHaveLostCharacters(*info);
        TShownSummary shown;
        if (lossy && (lossy_.count(index) != 0 || headerReads++ < kSortHeaderReads))
            shown = ShownTexts(index, *info);
        else
            shown = ShownSummary(*info, {}, codePage_);
        keys.push_back(
            LocaleSortKey(collator, QString::fromStdString(column == colSender ? shown.Sender : shown.Subject)));
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

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
