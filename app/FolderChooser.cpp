#include "app/FolderChooser.h"

#include "app/AppHooks.h"

#include <QDir>
#include <QFileInfo>

namespace brindle {

QString NearestExistingFolder(const QString& path) {
    if (path.isEmpty()) return QString();
    QString candidate = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // Each round takes one level off, so the walk ends within the path's length.
    while (!QFileInfo(candidate).isDir()) {
        const QString parent = QFileInfo(candidate).path();
        // Nothing of the path is there but the top of the file system.
        if (parent == candidate || QDir(parent).isRoot()) return QString();
        candidate = parent;
    }
    return candidate;
}

bool ChooseFolder(const QString& title, const QString& root, QString& folder, QWidget* owner) {
    const QString start = NearestExistingFolder(folder);
    QString chosen = AppHooks().BrowseForFolder(owner, title, start.isEmpty() ? root : start);
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
}

}  // namespace brindle
