#pragma once
// The main window: a menu, the message list of the open store, the header pane below it
// and a status bar with two panels. Opens folder files (.dbx, .mbx) into the list and
// single messages (.eml) into the viewer.
#include "app/AppHooks.h"
#include "mailbox/MailboxSession.h"

#include <QMainWindow>
#include <QSet>
#include <QStringList>

#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QTreeView;

namespace brindle {

struct TExportSources;

class Korvane_MRUList;
class TCharsetMenu;
class Korvane_PersistentPosition;
class TBackgroundJob;
class TFolderPane;
class TMessageListModel;
class TReadingPane;
class TFilterBox;
class TFindDialog;
class TRescueScan;
class TStoreRescue;

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
    // View > Deleted and Unindexed Messages: adds the rows of the messages that the scan of
    // the open store found beyond its index, or takes them away again.
    void cmDeletedMessages();
    // View > Reading Pane: the lower pane shows the focused message itself instead of its
    // header block.
    void cmReadingPane();
    // Search > Filter (Ctrl+F) focuses the filter box; Find in Messages (Ctrl+Shift+F) opens
    // the find dialog over the open store, with text in its query box when given.
    void cmFilter();
    void cmFindInMessages();
    void FindInMessages(const QString& text);
    void MRUListMenuItemClick(QAction* Sender);

    // Store folders: File > Open Store Folder..., the folder pane, File > Export...
    void cmOpenStoreFolder();
    void cmExport();
    // File > Upload to Mail Account...: the same choice of messages as Export.
    void cmUpload();
    TExportSources ExportSources() const;
    void cmHealth();
    // Shows the tree of a store folder in the folder pane and opens its inbox (or its first
    // folder with a store file). Throws EFOpenError when dir cannot be listed.
    void OpenStoreFolder(const QString& dir);
    TFolderPane* FolderPane() const { return folderPane_; }

    void TreeHeaderClick(int column);
    void TreeFocusChanged(int row);
    void TreeStateChange();

    // What is open: the store folder, the store, its code page, warnings and scan.
    TMailboxSession& Session() const { return *session_; }
    TOEReader* Reader() const { return session_->Reader(); }
    TMessageListModel* ListModel() const { return model_; }
    TCharsetMenu* CharsetMenu() const { return charsetMenu_; }
    Korvane_MRUList* MRUList() const { return mruList_; }
    TOpenDialog& OpenDialogState() { return od_; }
    QString StatusText(int panel) const;
    int SortColumn() const { return sortColumn_; }
    Qt::SortOrder SortDirection() const { return sortDirection_; }
    // Rows selected in the list, in display order.
    std::vector<int> SelectedRows() const;
    // The last finished scan of the open file, or none.
    const TStoreRescue* Rescue() const { return session_->Rescue(); }
    // A scan runs, or its end has not been shown yet.
    bool ScanRunning() const;
    // The list shows what a scan found in a file that could not be opened as a store.
    bool ShowsScanResult() const { return session_->ScanIsResult(); }
    TReadingPane* ReadingPane() const { return readingPane_; }

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateList();
    void CreateHeaderPanel();
    void CreateStatusBar();
    void CreateComponents();
    void CreateFolderPane();
    void FolderChosen(int node);
    void FolderActivated(int node);
    // The unread messages of the open store, by their summaries.
    uint32_t UnreadCount() const;
    void FitFolderPane(bool growOnly);
    // Counts the unread mail of the open store folder's stores that the folder list did not
    // count, off the GUI thread, and shows it in the pane as each count is known.
    void CountUnreadMail();
    // Views let go of what the session is about to close.
    void SessionChanged(TMailboxSession::TChange change);
    void DropStore();
    void ClearOpenStore();
    void CloseStoreFolder();
    void FilterChanged(const QString& text);
    // The store's code page: View > Character Set, the list's texts, the caption.
    void CreateCharsetMenu();
    void ApplyCodePage();
    void RenameFolders();
    QString StoreCaption() const;
    // The folder name of the open store, else its file's name.
    QString StoreCaptionName() const;
    std::map<std::string, QString> FolderNamesForFind() const;
    QString FolderCaption(int node) const;
    void SetCaption(const QString& caption);
    static bool IsEmptyStore(const TOEReader& reader, const std::string& localPath);
    void ShowEmptyStore(const QString& path);
    // The error of opening a store, after the name of its file.
    static QString FailureText(const QString& path, const std::exception& error);
    void OfferScanLater(const QString& path);
    QAction* AddMenuItem(QMenu* menu, const char* name, const QString& caption, void (Twnd_oe_Main::*handler)());
    template <typename Handler>
    void Guarded(Handler handler);

    void FormShow();
    void ReadSingleMessage(const QString& path);
    void OpenStore(const QString& path);
    void ReadStore(const QString& path);
    // Scans the file on a worker thread: in the background of an open store, or (asResult)
    // to list what a file that cannot be opened still holds.
    void StartRescueScan(const QString& path, bool asResult);
    // Stops a running scan and forgets the last one with its rows.
    void CancelRescueScan();
    void RescueScanFinished(bool ok);
    void ShowScanFailed(const QString& error);
    void ShowScanResult();
    void ShowFoundRows();
    void ShowOpenedStore();
    void ShowNoStore();
    void ForgetCurrentRow();
    // Fits sender, received and size to their texts as unread (bold) rows show them.
    void FitColumns();
    void KeepSubjectReadable();
    void RestoreListLayout();
    void SaveListLayout() const;
    // Greys out the commands that have nothing to act on.
    void UpdateCommands();
    void ShowLowerPane();
    void ShowInReadingPane(int row);
    // The row step rows from the focused one, or -1 when there is none.
    int RowAfterStep(int step) const;
    // Moves the focus step rows for the viewer and gives that row's message; none when there
    // is no such row.
    TMessageHandle StepToRow(int step);
    TMessageHandle ShownWhole(const TMessageHandle& message) const;
    // The viewer's way through the list: the focus moves with it.
    TMessageStep ListStep();
    // Shows the warnings that reading the store gave, or none.
    void ShowWarnings();
    void SetStatusText(int panel, const QString& text);
    static QString SavedMessagesText(size_t saved, size_t wanted, bool cancelled, const QStringList& failed,
                                     const QString& folder);
    void RepaintNow();
    int SelectedCount() const;
    std::vector<std::pair<int, int>> SelectedRanges() const;

    QStringList arguments_;
    bool formShown_ = false;
    std::unique_ptr<TMailboxSession> session_;
    TMessageListModel* model_ = nullptr;
    TOpenDialog od_;
    int sortColumn_ = -1;
    Qt::SortOrder sortDirection_ = Qt::AscendingOrder;

    QMenu* File1 = nullptr;
    QMenu* mmView = nullptr;
    QAction* mmDeletedMessages = nullptr;
    QAction* mmReadingPane_ = nullptr;
    QAction* mmSaveAll_ = nullptr;
    QAction* mmExport_ = nullptr;
    QAction* mmUpload_ = nullptr;
    QAction* mmMessageView_ = nullptr;
    QAction* mmFileProps_ = nullptr;
    QAction* mmGatherEmail_ = nullptr;
    TReadingPane* readingPane_ = nullptr;
    QList<int> keptSplitterSizes_;
    QMenu* mmHelp = nullptr;
    QTreeView* Tree = nullptr;
    TFilterBox* filterBox_ = nullptr;
    QSplitter* Splitter1 = nullptr;
    QFrame* HeaderPanel = nullptr;
    QLabel* DetailPanel = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QStatusBar* sb = nullptr;
    QLabel* sbPanels_[2] = {nullptr, nullptr};
    // Damage that reading tolerated; its first line shows in the status bar, all in its tip.
    QLabel* sbWarnings_ = nullptr;
    // A note about the open store folder (one without a folder list).
    QLabel* sbFolderNote_ = nullptr;
    std::unique_ptr<TBackgroundJob> unreadJob_;
    QProgressBar* sbProgress_ = nullptr;
    // What the scan found, or that it runs.
    QLabel* sbRescue_ = nullptr;
    // Runs the session's scan off the GUI thread until its end has been handled here.
    std::unique_ptr<TRescueScan> scan_;
    // A store that failed to open and whose scan was declined; View > Deleted and Unindexed
    // Messages scans it.
    QString failedPath_;
    // Columns whose width the user set; fitting leaves them alone.
    QSet<int> userSizedColumns_;
    bool fittingColumns_ = false;
    Korvane_MRUList* mruList_ = nullptr;
    TCharsetMenu* charsetMenu_ = nullptr;
    Korvane_PersistentPosition* PP = nullptr;
    // The folder pane beside the list, shown while a store folder is open.
    TFolderPane* folderPane_ = nullptr;
    QSplitter* folderSplitter_ = nullptr;
};

// Whether a path's extension (from the last dot of its file-name part) is ".eml" in any
// letter case.
bool HasEmlExtension(const QString& path);

}  // namespace brindle
