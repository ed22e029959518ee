#include "components/LastFolders.h"

#include "components/SettingsKey.h"

#include <QFileInfo>

namespace brindle {
namespace {

const QString kKey = QStringLiteral("Software\\Korvane\\Brindle\\1.x\\Last Folders");

QString ValueName(TFolderUse use) {
    switch (use) {
        case TFolderUse::Open: return QStringLiteral("Open");
        case TFolderUse::Save: return QStringLiteral("Save");
        case TFolderUse::Export: return QStringLiteral("Export");
        case TFolderUse::Attachments: return QStringLiteral("Attachments");
    }
    return QString();
}

}  // namespace

QString LastFolder(TFolderUse use) {
    const QString folder = OpenSettingsKey(kKey)->value(ValueName(use)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void RememberFolder(TFolderUse use, const QString& folder) {
    if (folder.isEmpty()) return;
    OpenSettingsKey(kKey)->setValue(ValueName(use), QFileInfo(folder).absoluteFilePath());
}

}  // namespace brindle
