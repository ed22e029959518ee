#include "viewer/ViewerHooks.h"

#include "components/DefaultHandler.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
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
    hooks.ChooseFolder = [](QWidget* parent, const QString& caption) {
        return QFileDialog::getExistingDirectory(parent, caption);
    };
    hooks.AskReplace = AskReplaceInMessageBox;
    hooks.RunPrintDialog = [](QPrintDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    hooks.OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return hooks;
}

}  // namespace

TViewerHooks& ViewerHooks() {
    static TViewerHooks hooks = DefaultHooks();
    return hooks;
}

void ResetViewerHooks() { ViewerHooks() = DefaultHooks(); }

}  // namespace brindle
