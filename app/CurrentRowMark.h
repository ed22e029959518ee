#pragma once
// The mark of the message list's current row: a dotted frame drawn over the row's own painting,
// in the colour of the row's text (the selection's text colour on a selected row), so that the
// row the keys act on and the reading pane shows stays visible inside a selection of many rows.
// The style's own focus frame shows only after a key moved the focus, and not on every style.
#include <QStyledItemDelegate>

class QAbstractItemView;

namespace brindle {

class TCurrentRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit TCurrentRowDelegate(QAbstractItemView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Whether the cell at index belongs to the view's current row.
    bool OnCurrentRow(const QModelIndex& index) const;

private:
    QAbstractItemView* view_;
};

}  // namespace brindle
