#include "app/CurrentRowMark.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QPen>

namespace brindle {

TCurrentRowDelegate::TCurrentRowDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), view_(view) {}

bool TCurrentRowDelegate::OnCurrentRow(const QModelIndex& index) const {
    const QModelIndex current = view_->currentIndex();
    return current.isValid() && index.isValid() && index.row() == current.row() && index.parent() == current.parent();
}

void TCurrentRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (!OnCurrentRow(index)) return;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette::ColorGroup group = option.state.testFlag(QStyle::State_Active) ? QPalette::Active
                                                                                   : QPalette::Inactive;
    painter->save();
    painter->setPen(QPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text), 1,
                         Qt::DotLine));
    const QRect cell = option.rect.adjusted(0, 0, -1, -1);
    painter->drawLine(cell.topLeft(), cell.topRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    // The frame's sides close the row at its first and last column.
    if (index.column() == 0) painter->drawLine(cell.topLeft(), cell.bottomLeft());
    if (index.column() == index.model()->columnCount(index.parent()) - 1)
        painter->drawLine(cell.topRight(), cell.bottomRight());
    painter->restore();
}

}  // namespace brindle
