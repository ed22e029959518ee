#include "app/FolderChooser.h"

#include "app/AppHooks.h"

#include <QFileInfo>

namespace brindle {

bool ChooseFolder(const QString& title, const QString& root, QString& folder, QWidget* owner) {
    if (!QFileInfo(folder).isDir()) folder.clear();
    QString chosen = AppHooks().BrowseForFolder(owner, title, folder.isEmpty() ? root : folder);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}

}  // namespace brindle
