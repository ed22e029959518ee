#pragma once
// The folder pane: the tree of an open store folder left of the message list, one row per
// folder with its special-folder icon, its unread count in the caption (the row bold while
// there is unread mail) and its message count. A folder whose store failed to open carries an
// error icon with the error as its tip.
#include "mailbox/StoreFolder.h"

#include <QString>
#include <QTreeView>

#include <optional>

class QStandardItem;
class QStandardItemModel;

namespace brindle {

class TFolderPane : public QTreeView {
    Q_OBJECT

public:
    enum { colName, colCount, kColumnCount };

    explicit TFolderPane(QWidget* parent = nullptr);

    // Shows the tree of folder; nothing is selected.
    void SetFolder(TStoreFolder folder);
    // Forgets the tree.
    void Clear();
    // The store folder shown, or null.
    const TStoreFolder* Folder() const { return folder_ ? &*folder_ : nullptr; }

    // The node of the current row; -1 when there is none.
    int CurrentNode() const;
    // Makes node k the current row, which reports it through FolderChosen.
    void SelectNode(int k);
    // The node that opens first: the inbox, else the first folder with a store file; -1 for none.
    int FirstNodeToOpen() const;
    // The full path of node k's store file; empty when it has none.
    QString StorePath(int k) const;
    // Marks node k as failing with text as its tip; an empty text takes the mark away.
    void SetNodeError(int k, const QString& text);
    QString NodeError(int k) const;
    // Gives node k the unread count that its open store tells, where the folder list told none.
    void SetNodeUnread(int k, uint32_t unread);

    // The width at which every name and count shows whole, the tree's indentation included.
    int NamesWidth() const;

    // The row of node k, for tests and the screenshot.
    QModelIndex IndexOfNode(int k, int column = colName) const;

    // "Inbox (3)": the name, with the unread count when there is unread mail.
    static QString Caption(const TFolderNode& node);

signals:
    void FolderChosen(int node);
    // A double-click or Enter on the row of node.
    void FolderActivated(int node);

private:
    QIcon NodeIcon(const TFolderNode& node) const;
    QStandardItem* ItemOfNode(int k) const;
    void ShowUnread(QStandardItem* name, const TFolderNode& node);

    QStandardItemModel* model_ = nullptr;
    std::optional<TStoreFolder> folder_;
    std::vector<QStandardItem*> items_;  // per node, its name cell
};

// The store folder that a path opens as: a folder itself, or the folder of a file named
// Folders.dbx in any letter case; empty for any other path.
QString StoreFolderOfPath(const QString& path);

}  // namespace brindle
