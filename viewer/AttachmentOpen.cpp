#include "viewer/AttachmentOpen.h"

#include "components/ReplaceQuestion.h"
#include "platform/TargetFolder.h"
#include "platform/TextRules.h"
#include "viewer/MessageBody.h"
#include "viewer/MessageView.h"
#include "viewer/ViewerHooks.h"
#include "viewer/ViewerText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace brindle {
namespace {

constexpr std::array<std::string_view, 31> kRunnableExtensions = {
    "exe", "com", "scr", "pif", "bat",     "cmd", "msi", "msp",  "cpl",     "hta",  "js",
    "jse", "vbs", "vbe", "wsf", "wsh",     "jar", "ps1", "psm1", "sh",      "bash", "csh",
    "ksh", "zsh", "py",  "pl",  "desktop", "lnk", "reg", "run",  "appimage"};

constexpr std::array<std::string_view, 16> kRunnableTypes = {"application/x-msdownload",
                                                             "application/x-msdos-program",
                                                             "application/x-dosexec",
                                                             "application/x-executable",
                                                             "application/vnd.microsoft.portable-executable",
                                                             "application/x-msi",
                                                             "application/x-ms-installer",
                                                             "application/x-sh",
                                                             "application/x-shellscript",
                                                             "application/javascript",
                                                             "text/javascript",
                                                             "application/x-javascript",
                                                             "application/java-archive",
                                                             "application/x-desktop",
                                                             "text/vbscript",
                                                             "application/hta"};

// The extension after the last dot of the name, lower case; trailing dots and blanks, which
// Windows drops, do not hide it.
std::string ExtensionOf(std::string_view fileName) {
    while (!fileName.empty() && (fileName.back() == '.' || fileName.back() == ' ')) fileName.remove_suffix(1);
    const size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string() : LowerAscii(fileName.substr(dot + 1));
}

// The media type without parameters, lower case.
std::string BareType(std::string_view mediaType) {
    const size_t semicolon = mediaType.find(';');
    std::string_view bare = mediaType.substr(0, semicolon);
    while (!bare.empty() && bare.back() == ' ') bare.remove_suffix(1);
    return LowerAscii(bare);
}

}  // namespace

bool CanRunCode(std::string_view fileName, std::string_view mediaType) {
    const std::string extension = ExtensionOf(fileName);
    if (std::find(kRunnableExtensions.begin(), kRunnableExtensions.end(), extension) != kRunnableExtensions.end())
        return true;
    const std::string type = BareType(mediaType);
    return std::find(kRunnableTypes.begin(), kRunnableTypes.end(), type) != kRunnableTypes.end();
}

QString PrivateAttachmentFolder() {
    // QTemporaryDir makes its folder with mode 0700 and removes it when it is destroyed.
    static QTemporaryDir folder;
    return folder.isValid() ? folder.path() : QString();
}

void OpenDesktopLink(const QString& target, bool& handled) {
    if (!IsDesktopLink(target.toStdString())) return;
    handled = true;
    const QUrl url(target);
    if (url.isValid() && IsDesktopLink((url.scheme() + QLatin1Char(':')).toStdString())) ViewerHooks().OpenUrl(url);
}

void OpenAttachment(const TMoxMsg& message, size_t index, const std::string& saveName, QWidget* parent) {
    const TAttachedFile& file = message.AttachedFiles.Items(index);
    if (IsAttachedMessage(file)) {
        ShowMessageView(TMessageHandle::OfText(file.Data), parent);
        return;
    }
    if (CanRunCode(file.FileName, file.MediaType) || CanRunCode(saveName, file.ContentType)) {
        const QString question =
            QStringLiteral("\"%1\" is a program or script and could harm your computer. Open it anyway?")
                .arg(QString::fromStdString(saveName));
        if (!ViewerHooks().AskYesNo(parent, QStringLiteral("Open attachment"), question)) return;
    }
    const QString folderPath = PrivateAttachmentFolder();
    if (folderPath.isEmpty()) throw std::runtime_error("Cannot create a folder for opened attachments");
    TTargetFolder folder(QFile::encodeName(folderPath).toStdString());
    const std::string written = file.SaveToFile(folder, saveName, TIfExists::NextFreeName);
    ViewerHooks().OpenFile(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder.PathOf(written)))));
}

TSavedAttachments SaveAttachments(const TMoxMsg& message, const std::vector<std::string>& names,
                                  std::optional<size_t> only, const QString& folder, QWidget* parent) {
    const size_t first = only.value_or(0);
    const size_t end = only ? first + 1 : names.size();
    TSavedAttachments saved;
    saved.Wanted = end - first;
    TTargetFolder target(QFile::encodeName(folder).toStdString());
    TReplaceAsker asker(target, ViewerHooks().AskReplace, parent, end - first > 1);
    for (size_t i = first; i < end && !asker.Cancelled(); ++i) {
        std::optional<TIfExists> how = asker.HowToWrite(names.at(i));
        if (!how) continue;
        try {
            message.AttachedFiles.Items(i).SaveToFile(target, names.at(i), *how);
            ++saved.Saved;
        } catch (const std::exception& error) {
            saved.Failed.append(QString::fromUtf8(error.what()));
        }
    }
    saved.Cancelled = asker.Cancelled();
    return saved;
}

QString SavedAttachmentsText(const TSavedAttachments& saved, const QString& folder) {
    QString text = saved.Saved == saved.Wanted
                       ? QStringLiteral("Saved %1 attachment%2 to %3")
                             .arg(saved.Saved)
                             .arg(saved.Saved == 1 ? "" : "s")
                             .arg(QDir::toNativeSeparators(folder))
                       : QStringLiteral("Saved %1 of %2 attachments to %3")
                             .arg(saved.Saved)
                             .arg(saved.Wanted)
                             .arg(QDir::toNativeSeparators(folder));
    if (saved.Cancelled) text += QStringLiteral(" (cancelled)");
    if (!saved.Failed.isEmpty()) text += QStringLiteral("; not saved: ") + saved.Failed.join(QStringLiteral("; "));
    return text;
}

void ThrowIfNotSaved(const TSavedAttachments& saved) {
    if (!saved.Failed.isEmpty()) throw std::runtime_error(saved.Failed.join(u'\n').toStdString());
}

}  // namespace brindle
