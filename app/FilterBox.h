#pragma once
// The filter box above the message list: what is typed in it narrows the list as it is typed
// (see TMessageListModel::SetFilter); Esc empties it.
#include <QLineEdit>

namespace brindle {

class TFilterBox : public QLineEdit {
    Q_OBJECT

public:
    explicit TFilterBox(QWidget* parent = nullptr);

    // The box above the list, both in one widget for the place the list had.
    static QWidget* AboveList(TFilterBox* box, QWidget* list, QWidget* parent);

signals:
    // The box took the focus: typing is likely to follow.
    void Focused();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

}  // namespace brindle
