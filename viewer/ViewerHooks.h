#pragma once
// Everything of the viewer that blocks or leaves the program: the modal run of the dialog,
// the save, folder and print dialogs, questions, and handing a link or a file to the desktop. Tests replace
// these so that nothing blocks and nothing is opened.
#include "components/ReplaceQuestion.h"

#include <QString>

#include <functional>

class QDialog;
class QFileDialog;
class QPrintDialog;
class QUrl;
class QWidget;

namespace brindle {

struct TViewerHooks {
    // Runs the viewer dialog modally.
    std::function<void(QDialog& dialog)> RunModal;
    // Runs the save dialog; gives the chosen path, or an empty text when it was cancelled.
    std::function<QString(QFileDialog& dialog)> RunSaveDialog;
    // Asks for a folder; gives its path, or an empty text when it was cancelled.
    std::function<QString(QWidget* parent, const QString& caption)> ChooseFolder;
    // Asks what to do when a saved attachment's name is taken in the folder.
    TAskReplace AskReplace;
    // Runs the print dialog; true when the user chose to print.
    std::function<bool(QPrintDialog& dialog)> RunPrintDialog;
    // Opens a web or mail address with the desktop's associated program.
    std::function<void(const QUrl& url)> OpenUrl;
    // Opens a saved attachment (a local file) with the desktop's program for its type.
    std::function<void(const QUrl& file)> OpenFile;
    // Asks a yes/no question; true for yes.
    std::function<bool(QWidget* parent, const QString& title, const QString& question)> AskYesNo;
};

// The hooks in use; each member may be replaced.
TViewerHooks& ViewerHooks();

// Puts the real dialogs and the desktop back.
void ResetViewerHooks();

}  // namespace brindle
