#include "DefaultHandler.h"

#include <QMessageBox>

namespace brindle {
namespace {

QString& TitleStorage() {
    static QString title = QStringLiteral("Brindle");
    return title;
}

void ShowCriticalBox(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
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
