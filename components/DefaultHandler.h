#pragma once
// The application's default handling of an exception that leaves a command or event handler:
// a critical message box titled with the application title; the program goes on.
#include <QString>

#include <exception>
#include <functional>

class QWidget;

namespace brindle {

// The application title (the text of the taskbar button); "Brindle" at start.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);

// The message as shown: a full stop is appended when the code of its last character is
// above that of the full stop.
QString MessageForDisplay(const QString& message);

// Shows the exception's message in a critical message box with an OK button.
void ShowException(const std::exception& error, QWidget* parent = nullptr);

// How ShowException presents the box; tests replace it to observe the box without showing it.
using TMessageBoxPresenter = std::function<void(QWidget* parent, const QString& title, const QString& text)>;
void SetMessageBoxPresenter(TMessageBoxPresenter presenter);

// Runs a command or event handler; an escaping exception goes to ShowException.
void RunGuarded(const std::function<void()>& handler, QWidget* parent = nullptr);

}  // namespace brindle
