#include "app/MessageListModel.h"

#include "app/CellTexts.h"
#include "app/Collation.h"
#include "app/ListFilter.h"
#include "app/ListImages.h"
#include "mailbox/MessageDate.h"
#include "store/MessageFlags.h"

#include <QBrush>

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace brindle {
namespace {

const QColor kFoundTextColor(128, 128, 128);

bool IsUnread(const TMessageInfo& info) { return (info.Flags & kFlagRead) == 0; }

// A found row's number: the position in the found messages, counted down from -1.
int32_t FoundRowNumber(size_t position) { return -static_cast<int32_t>(position) - 1; }

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
    TMessageInfo info = RecoveredSummary(message);
    info.Received = MessageDateValue(message.Header.Date).value_or(0);
    return info;
}

TOEReader* TMessageListModel::Reader() const { return session_ ? session_->Reader() : nullptr; }

const std::vector<TRescuedMessage>* TMessageListModel::Found() const { return session_ ? session_->Found() : nullptr; }

TMessageHandle TMessageListModel::Handle(int row) const {
    if (!session_ || row < 0 || row >= rowCount()) return {};
    const int32_t number = MessageIndex(row);
    return number < 0 ? session_->Recovered(FoundPositionOf(number)) : session_->Indexed(number);
}

TMessageListModel::TMessageListModel(QObject* parent) : QAbstractTableModel(parent) { SetListFont(QFont()); }

void TMessageListModel::SetListFont(const QFont& font) {
    boldFont_ = font;
    boldFont_.setBold(true);
}

void TMessageListModel::Clear() {
    allRows_.clear();
    allRows_.shrink_to_fit();
    ForgetKeys();
    foundRows_ = 0;
    if (rows_.empty()) return;
    beginRemoveRows(QModelIndex(), 0, static_cast<int>(rows_.size()) - 1);
    rows_.clear();
    rows_.shrink_to_fit();
    endRemoveRows();
}

void TMessageListModel::AddFoundRows(const std::vector<size_t>& positions) {
    if (positions.empty()) return;
    foundKeys_.Clear();
    for (size_t position : positions) allRows_.push_back(FoundRowNumber(position));
    foundRows_ += static_cast<int>(positions.size());
    if (Filtering()) KeysOf(true).Mark(filterMatcher_, foundShown_);
    std::vector<int32_t> shown;
    for (size_t position : positions)
        if (Shown(FoundRowNumber(position))) shown.push_back(FoundRowNumber(position));
    if (shown.empty()) return;
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(shown.size()) - 1);
    rows_.insert(rows_.end(), shown.begin(), shown.end());
    endInsertRows();
}

void TMessageListModel::RemoveFoundRows() {
    std::erase_if(allRows_, [](int32_t number) { return number < 0; });
    foundRows_ = 0;
    foundKeys_.Clear();
    foundShown_.clear();
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
        endRemoveRows();
        end = begin;
    }
}

void TMessageListModel::Fill(int32_t count) {
    Clear();
    if (count <= 0) return;
    allRows_.resize(static_cast<size_t>(count));
    std::iota(allRows_.begin(), allRows_.end(), 0);
    if (Filtering()) {
        ApplyFilter();
        return;
    }
    beginInsertRows(QModelIndex(), 0, count - 1);
    rows_ = allRows_;
    endInsertRows();
}

void TMessageListModel::ForgetKeys() {
    keys_.Clear();
    foundKeys_.Clear();
    shown_.clear();
    foundShown_.clear();
}

const TFilterKeys& TMessageListModel::KeysOf(bool found) const {
    TFilterKeys& keys = found ? foundKeys_ : keys_;
    if (!keys.Empty()) return keys;
    // The reader's rows are its summaries 0 to the count less one.
    const size_t count =
        found ? (Found() ? Found()->size() : 0) : (Reader() ? static_cast<size_t>(allRows_.size() - foundRows_) : 0);
    for (size_t i = 0; i < count; ++i) {
        const TMessageInfo info = found ? FoundInfo((*Found())[i]) : Reader()->GetMessageInfo(static_cast<int32_t>(i));
        auto text = [this](const std::string& bytes) {
            return QString::fromStdString(SummaryToUtf8(bytes, codePage_));
        };
        keys.Add(FilterKey(text(info.SenderName), text(info.SenderAddress), text(info.Subject)));
    }
    return keys;
}

void TMessageListModel::UpdateShown() {
    KeysOf(false).Mark(filterMatcher_, shown_);
    KeysOf(true).Mark(filterMatcher_, foundShown_);
}

bool TMessageListModel::Shown(int32_t number) const {
    if (!Filtering()) return true;
    const bool found = number < 0;
    const size_t position = found ? FoundPositionOf(number) : static_cast<size_t>(number);
    const std::vector<uint8_t>& shown = found ? foundShown_ : shown_;
    return position < shown.size() && shown[position] != 0;
}

void TMessageListModel::SetFilter(const QString& text) {
    QString folded = FilterFolded(text);
    folded.remove(u'\n');
    if (folded == filter_) return;
    filter_ = std::move(folded);
    filterMatcher_.setPattern(filter_);
    ApplyFilter();
}

void TMessageListModel::ApplyFilter() {
    beginResetModel();
    if (Filtering()) UpdateShown();
    rows_.clear();
    for (int32_t number : allRows_)
        if (Shown(number)) rows_.push_back(number);
    endResetModel();
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

std::optional<TMessageInfo> TMessageListModel::InfoOf(int32_t number) const {
    if (number >= 0) return Reader() ? std::optional(Reader()->GetMessageInfo(number)) : std::nullopt;
    const size_t position = FoundPositionOf(number);
    if (!Found() || position >= Found()->size()) return std::nullopt;
    return FoundInfo((*Found())[position]);
}

void TMessageListModel::SetCodePage(const std::string& codePage) {
    codePage_ = codePage;
    lossy_.clear();
    keys_.Clear();
    foundKeys_.Clear();
    if (Filtering()) ApplyFilter();
    if (!rows_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1), {Qt::DisplayRole});
}

TShownSummary TMessageListModel::ShownTexts(int32_t index, const TMessageInfo& info) const {
    if (!Reader() || !MayHaveLostCharacters(info)) return ShownSummary(info, {}, codePage_);
    auto cached = lossy_.find(index);
    if (cached != lossy_.end()) return cached->second;
    return lossy_.emplace(index, ShownSummaryOf(*Reader(), index, info, codePage_)).first->second;
}

std::string TMessageListModel::SummaryText(const TMessageInfo& info, int column) const {
    return SummaryToUtf8(column == colSender ? SenderOf(info) : std::string_view(info.Subject), codePage_);
}

QString TMessageListModel::RowCellText(int32_t index, const TMessageInfo& info, int column) const {
    if (column != colSender && column != colSubject) return CellText(info, column);
    if (!Reader() || !MayHaveLostCharacters(info)) return QString::fromStdString(SummaryText(info, column));
    const TShownSummary shown = ShownTexts(index, info);
    return QString::fromStdString(column == colSender ? shown.Sender : shown.Subject);
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
        if (!Found() || FoundPosition(index.row()) >= Found()->size()) return QVariant();
        return FoundRowData((*Found())[FoundPosition(index.row())], index.column(), role);
    }
    if (!Reader()) return QVariant();
    if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::FontRole) return QVariant();
    TMessageInfo info = Reader()->GetMessageInfo(MessageIndex(index.row()));
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

// Every row is sorted, hidden ones too, so that they stand in order when the filter lets
// them back; the shown rows follow that order.
void TMessageListModel::SortRows(int column, Qt::SortOrder order) {
    if (allRows_.empty()) return;
    std::vector<TSortKey> keys;
    keys.reserve(allRows_.size());
    QCollator collator = LocaleCollator(true);
    const bool byText = column == colSender || column == colSubject;
    size_t headerReads = 0;
    for (int32_t number : allRows_) {
        std::optional<TMessageInfo> info = InfoOf(number);
        if (!info) return;
        if (!byText || number < 0) {
            keys.push_back(SortKeyOf(*info, column, collator));
            continue;
        }
        const int32_t index = number;
        const bool lossy = MayHaveLostCharacters(*info);
        std::string shown;
        if (lossy && (lossy_.count(index) != 0 || headerReads++ < kSortHeaderReads)) {
            TShownSummary texts = ShownTexts(index, *info);
            shown = std::move(column == colSender ? texts.Sender : texts.Subject);
        } else {
            shown = SummaryText(*info, column);
        }
        keys.push_back(LocaleSortKey(collator, QString::fromStdString(shown)));
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    std::vector<int> newToOld(allRows_.size());
    std::iota(newToOld.begin(), newToOld.end(), 0);
    int wanted = order == Qt::AscendingOrder ? -1 : 1;
    std::stable_sort(newToOld.begin(), newToOld.end(),
                     [&](int a, int b) { return CompareSortKeys(keys[a], keys[b]) == wanted; });
    std::vector<int32_t> sorted(allRows_.size());
    for (size_t i = 0; i < newToOld.size(); ++i) sorted[i] = allRows_[newToOld[i]];
    allRows_ = std::move(sorted);

    // Where each shown row goes: row numbers are unique, so a map by number tells it.
    std::unordered_map<int32_t, int> newRowOf;
    std::vector<int32_t> shown;
    shown.reserve(rows_.size());
    for (int32_t number : allRows_)
        if (Shown(number)) {
            newRowOf.emplace(number, static_cast<int>(shown.size()));
            shown.push_back(number);
        }
    std::vector<int> oldToNew(rows_.size());
    for (size_t row = 0; row < rows_.size(); ++row) oldToNew[row] = newRowOf.at(rows_[row]);
    rows_ = std::move(shown);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) after.append(this->index(oldToNew[index.row()], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace brindle
