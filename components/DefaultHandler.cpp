#include "DefaultHandler.h"

#include <QGridLayout>
#include <QMessageBox>

namespace brindle {
namespace {

QString& TitleStorage() {
    static QString title = QStringLiteral("Brindle");
    return title;
}

// Room that the window frame takes beside the title: buttons and the icon.
constexpr int kTitleFrameRoom = 160;

// A message box is as wide as its text; a short text would cut the title.
void ShowCriticalBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int width = box.fontMetrics().horizontalAdvance(title) + kTitleFrameRoom;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    box.exec();
}

TMessageBoxPresenter& Presenter() {
    static TMessageBoxPresenter presenter = ShowCriticalBox;
    return presenter;
}

}  // namespace

QString ApplicationTitle() { return TitleStorage(); }

void SetApplicationTitle(const QString& title) { TitleStorage() = title; }

QString MessageForDisplay(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
    return message;
}

void ShowException(const std::exception& error, QWidget* parent) {
    Presenter()(parent, ApplicationTitle(), MessageForDisplay(QString::fromUtf8(error.what())));
}

void SetMessageBoxPresenter(TMessageBoxPresenter presenter) {
    Presenter() = presenter ? std::move(presenter) : TMessageBoxPresenter(ShowCriticalBox);
}

void RunGuarded(const std::function<void()>& handler, QWidget* parent) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(error, parent);
    }
}

}  // namespace brindle
