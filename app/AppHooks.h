#pragma once
// Everything of the main window that blocks or leaves the program: the open dialog, the
// folder chooser, the message viewer, the modal run of our own dialogs and handing an
// address to the desktop. Tests replace these so that nothing blocks and nothing opens.
#include "components/ReplaceQuestion.h"
#include "mailbox/MailboxSession.h"
#include "mailbox/MessageStep.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QDialog;
class QUrl;
class QWidget;

namespace brindle {

// The state of the main window's open dialog, kept between its runs.
struct TOpenDialog {
    QStringList Filters;  // "Description (patterns)", the first one selected at start
    int FilterIndex = 0;
    QString InitialDir;  // the folder the dialog starts in; empty for the current one
    QString FileName;    // the file last chosen, empty before the first choice
};

struct TAppHooks {
    // Runs the open dialog; true when the user chose a file (then in dialog.FileName).
    std::function<bool(QWidget* parent, TOpenDialog& dialog)> RunOpenDialog;
    // Shows the desktop's folder chooser starting at start; the chosen folder, or an empty
    // text when the user cancelled.
    std::function<QString(QWidget* owner, const QString& title, const QString& start)> BrowseForFolder;
    // Asks what to do when a saved message's name is taken in the folder.
    TAskReplace AskReplace;
    // Shows one message and returns when the viewer is closed; the handle gives its text, code
    // page and notice. step moves the viewer through the list; empty for a message that is not
    // in the list.
    std::function<void(const TMessageHandle& message, QWidget* parent, const TMessageStep& step)> ShowMessageView;
    // Opening a store failed with text: offers to scan the file for the messages it still
    // holds; true for the scan, false for closing the box.
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> OfferScan;
    // Asks a yes/no question; true for yes.
    std::function<bool(QWidget* parent, const QString& title, const QString& question)> AskYesNo;
    // Runs one of our own dialogs modally (about box, file properties).
    std::function<void(QDialog& dialog)> RunModal;
    // Opens a web or mail address with the desktop's associated program.
    std::function<void(const QUrl& url)> OpenUrl;
};

// The hooks in use; each member may be replaced.
TAppHooks& AppHooks();

// Puts the real dialogs, viewer and desktop back.
void ResetAppHooks();

}  // namespace brindle
