#pragma once
// The message list's model. A row holds only the index of its message in the reader's
// summary array; every text, image, font and sort key is made afresh from the reader's
// copy of that summary.
#include "app/SortKey.h"
#include "store/OEReader.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QFont>
#include <QLocale>

#include <cstdint>
#include <vector>

namespace brindle {

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn : int {
        colPriority = 0,
        colAttachment = 1,
        colFlag = 2,
        colSender = 3,
        colSubject = 4,
        colReceived = 5,
        colSize = 6,
        kColumnCount = 7,
    };

    explicit TMessageListModel(QObject* parent = nullptr);

    // The reader that the rows refer to; none while no store is open.
    void SetReader(const TOEReader* reader) { reader_ = reader; }
    // One row per summary, in summary order.
    void Fill(int32_t count);
    void Clear();
    int32_t MessageIndex(int row) const { return rows_.at(static_cast<size_t>(row)); }

    // Stable sort of all rows by a column: equal rows keep their order in both directions.
    void SortRows(int column, Qt::SortOrder order);
    // The key by which a summary sorts in a column; texts compare by collator.
    static TSortKey SortKeyOf(const TMessageInfo& info, int column, const QCollator& collator);

    // The font of unread rows is this font made bold.
    void SetListFont(const QFont& font);
    // How often data() has been asked, for measuring what painting costs.
    uint64_t DataCalls() const { return dataCalls_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Image index of a cell, or -1 for none.
    static int ImageIndex(const TMessageInfo& info, int column);
    QString CellText(const TMessageInfo& info, int column) const;

private:
    const TOEReader* reader_ = nullptr;
    std::vector<int32_t> rows_;
    QLocale locale_;
    QFont boldFont_;
    mutable uint64_t dataCalls_ = 0;
};

}  // namespace brindle
