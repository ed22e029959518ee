#include "app/FilterBox.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace brindle {

TFilterBox::TFilterBox(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("FilterBox"));
    setClearButtonEnabled(true);
    setPlaceholderText(QStringLiteral("Filter by sender or subject (Ctrl+F)"));
}

QWidget* TFilterBox::AboveList(TFilterBox* box, QWidget* list, QWidget* parent) {
    auto* pane = new QWidget(parent);
    pane->setObjectName(QStringLiteral("ListPane"));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(box);
    layout->addWidget(list, 1);
    return pane;
}

void TFilterBox::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    emit Focused();
}

void TFilterBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !text().isEmpty()) {
        clear();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace brindle
