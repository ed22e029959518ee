#pragma once
// The folder each of the program's file dialogs was left in, kept between runs under
// 1.x/Last Folders in the per-user settings, so that the next run starts there again.
#include <QString>

namespace brindle {

enum class TFolderUse {
    Open,    // File > Open... and Open Store Folder...
    Save,    // File > Save Selected...
    Export,  // the export dialog's Browse...
    Attachments,  // the viewer's and the reading pane's Save all attachments / Save attachments
};

// The folder kept for use; empty when none is kept or it is gone.
QString LastFolder(TFolderUse use);
void RememberFolder(TFolderUse use, const QString& folder);

}  // namespace brindle
