#include "app/AppHooks.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <algorithm>

#ifdef BRINDLE_HAVE_VIEWER
#include "viewer/MessageView.h"
#else
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#endif

namespace brindle {
namespace {

bool RunFileDialog(QWidget* parent, TOpenDialog& state) {
    QFileDialog dialog(parent, QStringLiteral("Open"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(state.Filters);
    if (state.FilterIndex >= 0 && state.FilterIndex < state.Filters.size())
        dialog.selectNameFilter(state.Filters[state.FilterIndex]);
    if (!state.InitialDir.isEmpty()) dialog.setDirectory(state.InitialDir);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    state.FileName = dialog.selectedFiles().front();
    state.FilterIndex = std::max(0, static_cast<int>(state.Filters.indexOf(dialog.selectedNameFilter())));
    return true;
}

QString BrowseWithFileDialog(QWidget* owner, const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

#ifdef BRINDLE_HAVE_VIEWER
void ShowInViewer(const TMessageHandle& message, QWidget* parent, const TMessageStep& step) {
    ShowMessageView(message, parent, step);
}
#else
// Without the viewer library the raw text is shown as it is, below the notice.
void ShowInViewer(const TMessageHandle& message, QWidget* parent, const TMessageStep&) {
    const std::string rawText = message.Text();
    const QString notice = QString::fromStdString(message.Notice());
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Message"));
    auto* layout = new QVBoxLayout(&dialog);
    if (!notice.isEmpty()) layout->addWidget(new QLabel(notice, &dialog));
    auto* text = new QPlainTextEdit(QString::fromStdString(rawText), &dialog);
    text->setReadOnly(true);
    layout->addWidget(text);
    dialog.resize(640, 480);
    dialog.exec();
}
#endif

bool AskToScan(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(QStringLiteral("The file may still hold messages that a scan can find."));
    QPushButton* scan = box.addButton(QStringLiteral("Scan the file for messages"), QMessageBox::AcceptRole);
    scan->setObjectName(QStringLiteral("bScan"));
    box.addButton(QMessageBox::Close);
    box.setDefaultButton(scan);
    box.exec();
    return box.clickedButton() == scan;
}

bool AskInMessageBox(QWidget* parent, const QString& title, const QString& question) {
    return QMessageBox::question(parent, title, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

TAppHooks RealHooks() {
    TAppHooks hooks;
    hooks.RunOpenDialog = RunFileDialog;
    hooks.BrowseForFolder = BrowseWithFileDialog;
    hooks.AskReplace = AskReplaceInMessageBox;
    hooks.ShowMessageView = ShowInViewer;
    hooks.OfferScan = AskToScan;
    hooks.AskYesNo = AskInMessageBox;
    hooks.RunModal = [](QDialog& dialog) { dialog.exec(); };
    hooks.OpenUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return hooks;
}

}  // namespace

TAppHooks& AppHooks() {
    static TAppHooks hooks = RealHooks();
    return hooks;
}

void ResetAppHooks() { AppHooks() = RealHooks(); }

}  // namespace brindle
