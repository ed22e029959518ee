#pragma once
// Asking the user for a folder with the desktop's folder chooser.
#include <QString>

class QWidget;

namespace brindle {

// Shows the folder chooser modally, titled title, starting at folder when that names an
// existing directory, else at its nearest existing parent (else at root, when given). Returns whether the user chose a folder;
// the choice is then in folder.
// path (made absolute) when it names a folder, else its nearest parent that does; empty when
// none does but the top of the file system.
QString NearestExistingFolder(const QString& path);

bool ChooseFolder(const QString& title, const QString& root, QString& folder, QWidget* owner = nullptr);

}  // namespace brindle
