#pragma once
// The main window: a menu, the message list of the open store, the header pane below it
// and a status bar with two panels. Opens folder files (.dbx, .mbx) into the list and
// single messages (.eml) into the viewer.
#include "app/AppHooks.h"
#include "store/OEReader.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QTreeView;

namespace brindle {

class Korvane_MRUList;
class Korvane_PersistentPosition;
class TMessageListModel;

class Twnd_oe_Main : public QMainWindow {
    Q_OBJECT

public:
    // arguments: the program's command line; the first argument after the program names a
    // file to open when the window is first shown.
    explicit Twnd_oe_Main(const QStringList& arguments, QWidget* parent = nullptr);
    ~Twnd_oe_Main() override;

    // Opens a file: an .eml file (any letter case) goes to the viewer, anything else is
    // probed as a store and listed. Failures leave as exceptions.
    void LoadFile(const QString& path);
    // Rebuilds the rows from the reader, in summary order.
    void FillList();

    void cmOpen();
    void cmExit();
    void cmAbout();
    void cmWWW();
    void mmEmailClick();
    void cmMessageView();
    void cmSaveAll();
    void cmGatherEmail();
    void cmFileProps();
    void MRUListMenuItemClick(QAction* Sender);

    void TreeHeaderClick(int column);
    void TreeFocusChanged(int row);
    void TreeStateChange();

    TOEReader* Reader() const { return reader_.get(); }
    TMessageListModel* ListModel() const { return model_; }
    Korvane_MRUList* MRUList() const { return mruList_; }
    TOpenDialog& OpenDialogState() { return od_; }
    QString StatusText(int panel) const;
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortDirection() const { return sortDirection_; }
    // Rows selected in the list, in display order.
    std::vector<int> SelectedRows() const;

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenu();
    void CreateList();
    void CreateHeaderPanel();
    void CreateStatusBar();
    void CreateComponents();
    QAction* AddMenuItem(QMenu* menu, const char* name, const QString& caption, void (Twnd_oe_Main::*handler)());
    template <typename Handler>
    void Guarded(Handler handler);

    void FormShow();
    void ReadSingleMessage(const QString& path);
    void OpenStore(const QString& path);
    void ShowOpenedStore();
    // Shows the warnings that reading the store gave, or none.
    void ShowWarnings();
    void SetStatusText(int panel, const QString& text);
    void RepaintNow();
    int SelectedCount() const;
    std::vector<std::pair<int, int>> SelectedRanges() const;

    QStringList arguments_;
    bool formShown_ = false;
    std::unique_ptr<TOEReader> reader_;
    TMessageListModel* model_ = nullptr;
    TOpenDialog od_;
    int sortColumn_ = -1;
    Qt::SortOrder sortDirection_ = Qt::AscendingOrder;

    QMenu* File1 = nullptr;
    QMenu* mmHelp = nullptr;
    QTreeView* Tree = nullptr;
    QSplitter* Splitter1 = nullptr;
    QFrame* HeaderPanel = nullptr;
    QLabel* DetailPanel = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QStatusBar* sb = nullptr;
    QLabel* sbPanels_[2] = {nullptr, nullptr};
    // Damage that reading tolerated; its first line shows in the status bar, all in its tip.
    QLabel* sbWarnings_ = nullptr;
    QStringList warnings_;
    Korvane_MRUList* mruList_ = nullptr;
    Korvane_PersistentPosition* PP = nullptr;
};

// Whether a path's extension (from the last dot of its file-name part) is ".eml" in any
// letter case.
bool HasEmlExtension(const QString& path);

}  // namespace brindle
