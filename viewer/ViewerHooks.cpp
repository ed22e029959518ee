#include "viewer/ViewerHooks.h"

#include "components/DefaultHandler.h"
#include "components/LastFolders.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QUrl>

namespace brindle {
namespace {

TViewerHooks DefaultHooks() {
    TViewerHooks hooks;
    hooks.RunModal = [](QDialog& dialog) { dialog.exec(); };
    hooks.RunSaveDialog = [](QFileDialog& dialog) {
        if (dialog.exec() != QDialog::Accepted) return QString();
        return dialog.selectedFiles().value(0);
    };
    // The folder chosen last, in this run or an earlier one, is where the next choice starts.
    hooks.ChooseFolder = [](QWidget* parent, const QString& caption) {
        const QString chosen = QFileDialog::getExistingDirectory(parent, caption, LastFolder(TFolderUse::Attachments));
        RememberFolder(TFolderUse::Attachments, chosen);
        return chosen;
    };
    hooks.AskReplace = AskReplaceInMessageBox;
    hooks.RunPrintDialog = [](QPrintDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    hooks.OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    hooks.OpenFile = [](const QUrl& file) { QDesktopServices::openUrl(file); };
    hooks.AskYesNo = [](QWidget* parent, const QString& title, const QString& question) {
        return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    };
    return hooks;
}

}  // namespace

TViewerHooks& ViewerHooks() {
    static TViewerHooks hooks = DefaultHooks();
    return hooks;
}

void ResetViewerHooks() { ViewerHooks() = DefaultHooks(); }

}  // namespace brindle
