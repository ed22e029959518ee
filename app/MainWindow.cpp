#include "app/MainWindow.h"

#include "app/AboutBox.h"
#include "app/AddressGathering.h"
#include "app/CellTexts.h"
#include "app/CharsetMenu.h"
#include "app/CurrentRowMark.h"
#include "app/ExportDialog.h"
#include "app/HealthDialog.h"
#include "components/LastFolders.h"
#include "app/UploadDialog.h"
#include "app/FileProperties.h"
#include "app/FilterBox.h"
#include "app/FindDialog.h"
#include "app/FolderChooser.h"
#include "app/FolderPane.h"
#include "app/ListLayout.h"
#include "app/MessageListModel.h"
#include "app/RescueScan.h"
#include "app/Stopwatch.h"
#include "app/StoreKind.h"
#include "components/BackgroundJob.h"
#include "components/DefaultHandler.h"
#include "components/MRUList.h"
#include "components/MenuTag.h"
#include "components/PersistentPosition.h"
#include "components/ReplaceQuestion.h"
#include "components/WaitCursor.h"
#include "mailbox/MessageFiles.h"
#include "mailbox/PartialMessage.h"
#include "mailbox/Rescue.h"
#include "platform/ByteSource.h"
#include "platform/FileNames.h"
#include "platform/HeaderBlock.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"
#include "store/EmlFile.h"
#include "store/MBXReader.h"
#include "store/MessageFlags.h"
#include "store/StoreOpener.h"
#include "viewer/ReadingPane.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

namespace brindle {
namespace {

constexpr QSize kWindowSize(705, 571);
constexpr int kHeaderPanelHeight = 247;
constexpr int kDetailPanelHeight = 21;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanel0Width = 150;
constexpr int kProgressWidth = 120;
constexpr int kProgressSteps = 1000;
constexpr int kSplitterWidth = 2;
constexpr int kFolderPaneWidth = 215;
constexpr int kColumnWidths[] = {25, 25, 25, 200, 200, 125, 75};
// Columns fitted to their texts after a load measure at most this many rows, and the sender
// takes at most this width.
constexpr int kFitRows = 2000;
constexpr int kMaxFittedSenderWidth = 250;
constexpr int kCellPadding = 16;
// The subject keeps room for about this many characters; the sender gives way down to room
// for a typical name.
constexpr int kMinSubjectChars = 30;
constexpr int kMinSenderChars = 22;
const QColor kDetailPanelColor(239, 235, 222);

const QString kMessageHeaderCaption = QStringLiteral("  Message Header");
const QString kFilePropertiesCaption = QStringLiteral("  File Properties");

QFont FontOf(const QString& family, int points, QFont::StyleHint hint) {
    QFont font(family, points);
    font.setStyleHint(hint);
    return font;
}

// Paths as the file system takes them.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString WithTrailingSeparator(const QString& folder) {
    return folder.endsWith(u'/') || folder.endsWith(QDir::separator()) ? folder : folder + u'/';
}

QString TextAsLines(std::string_view text) {
    std::string joined;
    bool first = true;
    for (std::string_view line : SplitLines(text)) {
        if (!first) joined += '\n';
        first = false;
        joined += line;
    }
    return ShownText(joined);
}

QString MessagesFoundText(size_t count, const char* what) {
    return QStringLiteral("%1 %2 message%3 found").arg(count).arg(QLatin1String(what)).arg(count == 1 ? "" : "s");
}

bool IsOpenableDrop(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile()) return false;
    if (QFileInfo(data->urls().front().toLocalFile()).isDir()) return true;
    QString suffix = QFileInfo(data->urls().front().toLocalFile()).suffix();
    return suffix.compare(u"dbx", Qt::CaseInsensitive) == 0 || suffix.compare(u"mbx", Qt::CaseInsensitive) == 0 ||
           suffix.compare(u"eml", Qt::CaseInsensitive) == 0;
}

}  // namespace

bool HasEmlExtension(const QString& path) { return IsEmlFileName(LocalPath(path)); }

Twnd_oe_Main::Twnd_oe_Main(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(arguments), session_(std::make_unique<TMailboxSession>()) {
    setObjectName(QStringLiteral("wnd_oe_Main"));
    setWindowTitle(QStringLiteral("Brindle"));
    setFont(FontOf(QStringLiteral("MS Sans Serif"), 8, QFont::SansSerif));
    setAcceptDrops(true);
    resize(kWindowSize);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kWindowSize);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    od_.Filters = {QStringLiteral("Mail stores and messages (*.dbx *.mbx *.eml)"),
                   QStringLiteral("Version 4 mail stores (*.mbx)"), QStringLiteral("Version 5/6 mail stores (*.dbx)"),
                   QStringLiteral("E-Mails (*.eml)"),
                   QStringLiteral("All files (*)")};
    if (const QString last = LastFolder(TFolderUse::Open); !last.isEmpty()) od_.InitialDir = WithTrailingSeparator(last);
    CreateMenu();
    CreateList();
    CreateHeaderPanel();
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(kSplitterWidth);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(TFilterBox::AboveList(filterBox_, Tree, Splitter1));
    Splitter1->addWidget(HeaderPanel);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    CreateFolderPane();
    // Tab goes from the folders to the filter, the list and the reading pane.
    setTabOrder(folderPane_, filterBox_);
    setTabOrder(filterBox_, Tree);
    setTabOrder(Tree, readingPane_);
    CreateStatusBar();
    CreateComponents();
    RestoreListLayout();
    session_->Listen([this](TMailboxSession::TChange change) { SessionChanged(change); });
    UpdateCommands();
}

void Twnd_oe_Main::CreateFolderPane() {
    folderPane_ = new TFolderPane(this);
    folderPane_->hide();
    connect(folderPane_, &TFolderPane::FolderChosen, this,
            [this](int node) { Guarded([this, node] { FolderChosen(node); }); });
    connect(folderPane_, &TFolderPane::FolderActivated, this,
            [this](int node) { Guarded([this, node] { FolderActivated(node); }); });
    folderSplitter_ = new QSplitter(Qt::Horizontal, this);
    folderSplitter_->setObjectName(QStringLiteral("FolderSplitter"));
    folderSplitter_->setHandleWidth(kSplitterWidth);
    folderSplitter_->setChildrenCollapsible(false);
    folderSplitter_->addWidget(folderPane_);
    folderSplitter_->addWidget(Splitter1);
    folderSplitter_->setStretchFactor(0, 0);
    folderSplitter_->setStretchFactor(1, 1);
    folderSplitter_->setSizes({kFolderPaneWidth, kWindowSize.width() - kFolderPaneWidth});
    setCentralWidget(folderSplitter_);
}

Twnd_oe_Main::~Twnd_oe_Main() {
    scan_.reset();
    // Events of the list while the controls are destroyed must not reach this window.
    Tree->viewport()->removeEventFilter(this);
    // The list refers to the session, which goes before the controls do.
    model_->Clear();
    model_->SetSession(nullptr);
    session_.reset();
}

template <typename Handler>
void Twnd_oe_Main::Guarded(Handler handler) {
    RunGuarded(handler, this);
}

QAction* Twnd_oe_Main::AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                                   void (Twnd_oe_Main::*handler)()) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    connect(item, &QAction::triggered, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return item;
}

void Twnd_oe_Main::CreateMenu() {
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    AddMenuItem(File1, "mmOpen", QStringLiteral("&Open..."), &Twnd_oe_Main::cmOpen)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    AddMenuItem(File1, "mmOpenStoreFolder", QStringLiteral("Open Store &Folder..."), &Twnd_oe_Main::cmOpenStoreFolder)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    mmSaveAll_ = AddMenuItem(File1, "mmSaveAll", QStringLiteral("&Save Selected..."), &Twnd_oe_Main::cmSaveAll);
    mmExport_ = AddMenuItem(File1, "mmExport", QStringLiteral("&Export..."), &Twnd_oe_Main::cmExport);
    mmUpload_ = AddMenuItem(File1, "mmUpload", QStringLiteral("&Upload to Mail Account..."), &Twnd_oe_Main::cmUpload);
    AddMenuItem(File1, "mmHealth", QStringLiteral("Mailbox &Health..."), &Twnd_oe_Main::cmHealth);
    File1->addSeparator();
    mmMessageView_ =
        AddMenuItem(File1, "mmMessageView", QStringLiteral("Message &View..."), &Twnd_oe_Main::cmMessageView);
    // Return and Enter open the focused row while the list (or the menu) has the focus.
    mmMessageView_->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    mmMessageView_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    mmFileProps_ = AddMenuItem(File1, "mmFileProps", QStringLiteral("File P&roperties..."), &Twnd_oe_Main::cmFileProps);
    File1->addSeparator();
    mmGatherEmail_ = AddMenuItem(File1, "mmGatherEmail", QStringLiteral("&Gather E-mail Addresses..."),
                                 &Twnd_oe_Main::cmGatherEmail);
    File1->addSeparator();
    AddMenuItem(File1, "mmExit", QStringLiteral("E&xit"), &Twnd_oe_Main::cmExit)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    mmView = menuBar()->addMenu(QStringLiteral("&View"));
    mmView->setObjectName(QStringLiteral("mmView"));
    mmDeletedMessages = AddMenuItem(mmView, "mmDeletedMessages", QStringLiteral("&Deleted and Unindexed Messages"),
                                    &Twnd_oe_Main::cmDeletedMessages);
    mmDeletedMessages->setCheckable(true);
    mmDeletedMessages->setEnabled(false);
    mmReadingPane_ =
        AddMenuItem(mmView, "mmReadingPane", QStringLiteral("&Reading Pane"), &Twnd_oe_Main::cmReadingPane);
    mmReadingPane_->setCheckable(true);
    mmReadingPane_->setShortcut(QKeySequence(Qt::Key_F8));

    QMenu* mmSearch = menuBar()->addMenu(QStringLiteral("&Search"));
    mmSearch->setObjectName(QStringLiteral("mmSearch"));
    AddMenuItem(mmSearch, "mmFilter", QStringLiteral("&Filter"), &Twnd_oe_Main::cmFilter)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    AddMenuItem(mmSearch, "mmFindInMessages", QStringLiteral("Find in &Messages..."), &Twnd_oe_Main::cmFindInMessages)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));

    mmHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mmHelp->setObjectName(QStringLiteral("mmHelp"));
    AddMenuItem(mmHelp, "mmAbout", QStringLiteral("&About..."), &Twnd_oe_Main::cmAbout);
    mmHelp->addSeparator();
    AddMenuItem(mmHelp, "mmWWW", QStringLiteral("Visit &Homepage"), &Twnd_oe_Main::cmWWW);
    AddMenuItem(mmHelp, "mmEmail", QStringLiteral("&Contact Author"), &Twnd_oe_Main::mmEmailClick);
}

void Twnd_oe_Main::CreateList() {
    model_ = new TMessageListModel(this);
    model_->SetSession(session_.get());
    Tree = new QTreeView(this);
    Tree->setObjectName(QStringLiteral("Tree"));
    Tree->setModel(model_);
    model_->SetListFont(Tree->font());
    Tree->setRootIsDecorated(false);
    Tree->setItemsExpandable(false);
    Tree->setUniformRowHeights(true);
    Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tree->setAllColumnsShowFocus(true);
    Tree->setItemDelegate(new TCurrentRowDelegate(Tree));
    Tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tree->setIconSize(QSize(16, 16));
    Tree->setSortingEnabled(false);

    QHeaderView* header = Tree->header();
    header->setSectionsMovable(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(16);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    for (int column = 0; column < TMessageListModel::kColumnCount; ++column)
        header->resizeSection(column, kColumnWidths[column]);
    header->setSectionResizeMode(TMessageListModel::colSubject, QHeaderView::Stretch);
    Tree->addAction(mmMessageView_);
    // A width the user gives a column (dragging its edge) is kept from one load to the next.
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (!fittingColumns_ && column != TMessageListModel::colSubject &&
            QGuiApplication::mouseButtons() != Qt::NoButton)
            userSizedColumns_.insert(column);
    });

    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded([this, column] { TreeHeaderClick(column); }); });
    connect(Tree->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            Guarded([this, row = current.row()] { TreeFocusChanged(row); });
        else
            ShowLowerPane();
        UpdateCommands();
    });
    connect(Tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        Guarded([this] { TreeStateChange(); });
        UpdateCommands();
    });
    connect(Tree, &QTreeView::doubleClicked, this, [this] { Guarded([this] { cmMessageView(); }); });
    Tree->viewport()->installEventFilter(this);
    filterBox_ = new TFilterBox(this);
    connect(filterBox_, &QLineEdit::textChanged, this,
            [this](const QString& text) { Guarded([this, text] { FilterChanged(text); }); });
    connect(filterBox_, &TFilterBox::Focused, this, [this] { Guarded([this] { model_->PrepareFilter(); }); });
}

void Twnd_oe_Main::CreateHeaderPanel() {
    HeaderPanel = new QFrame(this);
    HeaderPanel->setObjectName(QStringLiteral("HeaderPanel"));
    HeaderPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
    HeaderPanel->setLineWidth(1);
    auto* layout = new QVBoxLayout(HeaderPanel);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);

    DetailPanel = new QLabel(kMessageHeaderCaption, HeaderPanel);
    DetailPanel->setObjectName(QStringLiteral("DetailPanel"));
    DetailPanel->setFixedHeight(kDetailPanelHeight);
    DetailPanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont bold = FontOf(QStringLiteral("MS Sans Serif"), 8, QFont::SansSerif);
    bold.setBold(true);
    DetailPanel->setFont(bold);
    DetailPanel->setAutoFillBackground(true);
    QPalette detailColours = DetailPanel->palette();
    detailColours.setColor(QPalette::Window, kDetailPanelColor);
    detailColours.setColor(QPalette::WindowText, Qt::black);
    DetailPanel->setPalette(detailColours);
    layout->addWidget(DetailPanel);

    Memo = new QPlainTextEdit(HeaderPanel);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setAcceptDrops(false);
    Memo->setFrameStyle(QFrame::NoFrame);
    Memo->setFont(FontOf(QStringLiteral("Courier New"), 8, QFont::TypeWriter));
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoColours = Memo->palette();
    memoColours.setColor(QPalette::Base, memoColours.color(QPalette::Button));
    Memo->setPalette(memoColours);
    layout->addWidget(Memo, 1);

    readingPane_ = new TReadingPane(HeaderPanel);
    readingPane_->hide();
    connect(readingPane_, &TReadingPane::AttachmentsSaved, this,
            [this](const QString& text) { SetStatusText(1, text); });
    layout->addWidget(readingPane_, 1);
}

void Twnd_oe_Main::CreateStatusBar() {
    sb = new QStatusBar(this);
    sb->setObjectName(QStringLiteral("sb"));
    sb->setFixedHeight(kStatusBarHeight);
    for (int panel = 0; panel < 2; ++panel) {
        sbPanels_[panel] = new QLabel(sb);
        sbPanels_[panel]->setObjectName(QStringLiteral("sbPanel%1").arg(panel));
    }
    sbPanels_[0]->setFixedWidth(kStatusPanel0Width);
    sb->addWidget(sbPanels_[0]);
    sb->addWidget(sbPanels_[1], 1);
    sbWarnings_ = new QLabel(sb);
    sbWarnings_->setObjectName(QStringLiteral("sbWarnings"));
    sb->addPermanentWidget(sbWarnings_);
    sbFolderNote_ = new QLabel(sb);
    sbFolderNote_->setObjectName(QStringLiteral("sbFolderNote"));
    sb->addPermanentWidget(sbFolderNote_);
    sbRescue_ = new QLabel(sb);
    sbRescue_->setObjectName(QStringLiteral("sbRescue"));
    sb->addPermanentWidget(sbRescue_);
    sbProgress_ = new QProgressBar(sb);
    sbProgress_->setObjectName(QStringLiteral("sbProgress"));
    sbProgress_->setRange(0, kProgressSteps);
    sbProgress_->setFixedWidth(kProgressWidth);
    sbProgress_->setMaximumHeight(kStatusBarHeight - 4);
    sbProgress_->setTextVisible(false);
    sbProgress_->hide();
    sb->addPermanentWidget(sbProgress_);
    setStatusBar(sb);
}

// The store's code page.
void Twnd_oe_Main::CreateCharsetMenu() {
    charsetMenu_ = new TCharsetMenu(mmView, sb, *session_, this);
    connect(charsetMenu_, &TCharsetMenu::CodePageChanged, this, [this] { Guarded([this] { ApplyCodePage(); }); });
}

void Twnd_oe_Main::ApplyCodePage() {
    model_->SetCodePage(session_->CodePage());
    if (folderPane_->Folder()) RenameFolders();
    if (!session_->HasStore()) return;
    setWindowTitle(StoreCaption());
    SetApplicationTitle(StoreCaption());
}

// The folder names read again in the code page now in use; the open folder stays open.
void Twnd_oe_Main::RenameFolders() {
    const int node = folderPane_->CurrentNode();
    TStoreFolder folder = ReadStoreFolder(folderPane_->Folder()->Path, {}, session_->CodePage());
    const QSignalBlocker quiet(folderPane_);
    folderPane_->SetFolder(std::move(folder));
    if (node >= 0) folderPane_->SelectNode(node);
    CountUnreadMail();
}

QString Twnd_oe_Main::StoreCaption() const {
    const int node = folderPane_->CurrentNode();
    if (folderPane_->Folder() && node >= 0) return FolderCaption(node);
    return QStringLiteral("Brindle - [%1]").arg(StoreCaptionName());
}

QString Twnd_oe_Main::StoreCaptionName() const {
    TOEReader& reader = *session_->Reader();
    const std::string folder = SummaryToUtf8(reader.GetFolderName(), session_->CodePage());
    // A store that names no folder (an empty one names none) goes by its file's name.
    return folder.empty() ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(reader.FileName()))).completeBaseName()
                          : QString::fromStdString(folder);
}

QString Twnd_oe_Main::FolderCaption(int node) const {
    return QStringLiteral("Brindle - [%1]").arg(QString::fromStdString(folderPane_->Folder()->Nodes[node].Name));
}

void Twnd_oe_Main::SetCaption(const QString& caption) {
    setWindowTitle(caption);
    SetApplicationTitle(caption);
}

void Twnd_oe_Main::CreateComponents() {
    CreateCharsetMenu();
    mruList_ = new Korvane_MRUList(this);
    mruList_->setObjectName(QStringLiteral("MRUList"));
    mruList_->SetApplication(QStringLiteral("Brindle"));
    mruList_->SetManufacturer(QStringLiteral("Korvane"));
    mruList_->SetVersion(QStringLiteral("1.x"));
    connect(mruList_, &Korvane_MRUList::OnMenuItemClick, this,
            [this](QAction* sender) { Guarded([this, sender] { MRUListMenuItemClick(sender); }); });
    mruList_->SetMainMenuItem(File1);

    PP = new Korvane_PersistentPosition(this);
    PP->setObjectName(QStringLiteral("PP"));
    PP->SetManufacturer(QStringLiteral("Korvane"));
    PP->SetProduct(QStringLiteral("Brindle"));
    PP->SetVersion(QStringLiteral("1.x"));
    PP->Loaded();
}

QString Twnd_oe_Main::StatusText(int panel) const {
    return panel >= 0 && panel < 2 ? sbPanels_[panel]->text() : QString();
}

void Twnd_oe_Main::SetStatusText(int panel, const QString& text) { sbPanels_[panel]->setText(text); }

void Twnd_oe_Main::RepaintNow() {
    if (isVisible()) repaint();
}

void Twnd_oe_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (formShown_) return;
    formShown_ = true;
    // The splitter knows its own height only once the window is laid out for showing.
    int listHeight = Splitter1->height() - Splitter1->handleWidth() - kHeaderPanelHeight;
    Splitter1->setSizes(keptSplitterSizes_.size() == 2 ? keptSplitterSizes_
                                                       : QList<int>{std::max(listHeight, 0), kHeaderPanelHeight});
    // Opened once the window is on the screen, so that the progress texts show.
    QTimer::singleShot(0, this, [this] { Guarded([this] { FormShow(); }); });
}

void Twnd_oe_Main::FormShow() {
    if (arguments_.size() < 2) return;
    QFileInfo file(arguments_[1]);
    if (file.isFile() || file.isDir()) LoadFile(file.absoluteFilePath());
}

void Twnd_oe_Main::LoadFile(const QString& path) {
    if (const QString folder = StoreFolderOfPath(path); !folder.isEmpty()) {
        OpenStoreFolder(folder);
    } else if (HasEmlExtension(path)) {
        ReadSingleMessage(path);
    } else {
        CloseStoreFolder();
        OpenStore(path);
    }
}

void Twnd_oe_Main::ReadSingleMessage(const QString& path) {
    std::string rawText;
    {
        TWaitCursor wait;
        SetStatusText(1, QStringLiteral("Reading..."));
        RepaintNow();
        StartStopwatch();
        rawText = ReadEmlFile(LocalPath(path));
        KeepFromReplacing(LocalPath(path));
        SetStatusText(1, ElapsedTimeText());
    }
    mruList_->AddFile(path);
    AppHooks().ShowMessageView(TMessageHandle::OfText(std::move(rawText)), this, TMessageStep());
}

void Twnd_oe_Main::OpenStore(const QString& path) {
    CancelRescueScan();
    try {
        ReadStore(path);
    } catch (const std::exception& error) {
        // A file that cannot be read at all has nothing to scan.
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable()) throw;
        if (AppHooks().OfferScan(this, ApplicationTitle(), FailureText(path, error)))
            StartRescueScan(path, true);
        else
            OfferScanLater(path);
        return;
    }
    StartRescueScan(path, false);
}

void Twnd_oe_Main::ReadStore(const QString& path) {
    TWaitCursor wait;
    SetStatusText(1, QStringLiteral("Loading..."));
    DetailPanel->clear();
    DropStore();
    RepaintNow();
    try {
        session_->ClearWarnings();
        StartStopwatch();
        std::string localPath = LocalPath(path);
        try {
            session_->OpenStore(localPath);
        } catch (const std::exception&) {
            if (!session_->HasStore() || !IsEmptyStore(*session_->Reader(), localPath)) throw;
            ShowEmptyStore(path);
            return;
        }
        KeepFromReplacing(localPath);
        // The index file beside a version 4 folder, under each spelling the reader accepts; a
        // name that does not exist has no effect.
        for (const std::string& indexPath : TMBXReader::IndexFileSpellings(localPath)) KeepFromReplacing(indexPath);
        SetStatusText(1, ElapsedTimeText());
        RepaintNow();
        StartStopwatch();
        session_->ReadSummaries();
        SetStatusText(1, ElapsedTimeText());
        RepaintNow();
        model_->SetCodePage(charsetMenu_->Open(folderPane_->Folder()
                                                   ? QFile::decodeName(QByteArray::fromStdString(session_->StoreFolder()))
                                                   : QFileInfo(path).absoluteFilePath()));
        if (session_->Reader()->Loaded()) FillList();
        if (!folderPane_->Folder()) mruList_->AddFile(path);
    } catch (const std::exception& error) {
        // The list, the title and the count describe no store; the reader stays for File
        // Properties.
        ShowWarnings();
        ShowNoStore();
        SetStatusText(1, FailureText(path, error));
        if (const TOEReader* reader = session_->Reader()) {
            DetailPanel->setText(kFilePropertiesCaption);
            Memo->appendPlainText(FormatLine(reader->FileKind()));
        }
        UpdateCommands();
        throw;
    }
    ShowWarnings();
    ShowOpenedStore();
}

// A store whose header and index hold no message: a folder without messages, not damage.
bool Twnd_oe_Main::IsEmptyStore(const TOEReader& reader, const std::string& localPath) {
    return reader.Loaded() && StoreHeaderCount(localPath) == 0u;
}

void Twnd_oe_Main::ShowEmptyStore(const QString& path) {
    KeepFromReplacing(LocalPath(path));
    SetStatusText(1, ElapsedTimeText());
    FillList();
    if (!folderPane_->Folder()) mruList_->AddFile(path);
    ShowWarnings();
    ShowOpenedStore();
}

QString Twnd_oe_Main::FailureText(const QString& path, const std::exception& error) {
    return QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), MessageForDisplay(QString::fromUtf8(error.what())));
}

void Twnd_oe_Main::ShowWarnings() {
    QStringList warnings;
    for (const std::string& warning : session_->Warnings()) warnings.append(ShownText(warning));
    if (warnings.isEmpty()) {
        sbWarnings_->clear();
        sbWarnings_->setToolTip(QString());
        return;
    }
    sbWarnings_->setText(warnings.size() == 1
                             ? warnings.front()
                             : QStringLiteral("%1 (and %2 more)").arg(warnings.front()).arg(warnings.size() - 1));
    sbWarnings_->setToolTip(warnings.join(u'\n'));
}

void Twnd_oe_Main::ShowOpenedStore() {
    DetailPanel->setText(kFilePropertiesCaption);
    SetCaption(StoreCaption());
    const TOEReader& reader = *session_->Reader();
    SetStatusText(0, QStringLiteral("Count: %1").arg(reader.Loaded() ? session_->MessageCount() : 0));
    Memo->appendPlainText(FormatLine(reader.FileKind()));
}

// No store shown: the title names the folder of a store folder that is chosen, else nothing.
void Twnd_oe_Main::ShowNoStore() {
    const int node = folderPane_->CurrentNode();
    SetCaption(folderPane_->Folder() && node >= 0 ? FolderCaption(node) : QStringLiteral("Brindle"));
    SetStatusText(0, QString());
    SetStatusText(1, QString());
}

void Twnd_oe_Main::FillList() {
    Memo->clear();
    model_->Fill(session_->MessageCount());
    if (sortColumn_ >= 0) model_->SortRows(sortColumn_, sortDirection_);
    ForgetCurrentRow();
    FitColumns();
    TreeStateChange();
    UpdateCommands();
}

// A list that gets the focus sets its first row current unless a current row was set since
// its rows changed: setting none keeps the store's own lines in the lower pane after a load.
void Twnd_oe_Main::ForgetCurrentRow() {
    Tree->setCurrentIndex(QModelIndex());
    ShowLowerPane();
}

void Twnd_oe_Main::FitColumns() {
    QFont bold = Tree->font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    QHeaderView* header = Tree->header();
    const QScopedValueRollback fitting(fittingColumns_, true);
    const int rows = std::min(model_->rowCount(), kFitRows);
    for (int column : {TMessageListModel::colSender, TMessageListModel::colReceived, TMessageListModel::colSize}) {
        if (userSizedColumns_.contains(column)) continue;
        int width = metrics.horizontalAdvance(model_->headerData(column, Qt::Horizontal).toString()) + kCellPadding;
        for (int row = 0; row < rows; ++row)
            width = std::max(width, metrics.horizontalAdvance(model_->index(row, column).data().toString()));
        width += kCellPadding;
        // The sender's envelope stands before its text.
        if (rows > 0 && !model_->index(0, column).data(Qt::DecorationRole).isNull())
            width += Tree->iconSize().width() + kCellPadding / 2;
        if (column == TMessageListModel::colSender) width = std::min(width, kMaxFittedSenderWidth);
        header->resizeSection(column, width);
    }
    KeepSubjectReadable();
}

// The sender gives the subject back room that the window lacks, down to a typical name.
void Twnd_oe_Main::KeepSubjectReadable() {
    QHeaderView* header = Tree->header();
    const int sender = TMessageListModel::colSender;
    if (userSizedColumns_.contains(sender)) return;
    const int charWidth = Tree->fontMetrics().averageCharWidth();
    int others = 0;
    for (int column = 0; column < TMessageListModel::kColumnCount; ++column)
        if (column != TMessageListModel::colSubject) others += header->sectionSize(column);
    const int lacking = kMinSubjectChars * charWidth - (Tree->viewport()->width() - others);
    if (lacking <= 0) return;
    const int senderWidth = std::max(header->sectionSize(sender) - lacking, kMinSenderChars * charWidth);
    header->resizeSection(sender, std::min(senderWidth, header->sectionSize(sender)));
}

void Twnd_oe_Main::RestoreListLayout() {
    const TListLayout layout = ReadListLayout();
    QHeaderView* header = Tree->header();
    const QScopedValueRollback restoring(fittingColumns_, true);
    if (layout.ColumnWidths.size() == TMessageListModel::kColumnCount)
        for (int column = 0; column < TMessageListModel::kColumnCount; ++column) {
            header->resizeSection(column, std::max(layout.ColumnWidths[column], header->minimumSectionSize()));
            if (layout.UserSized.contains(column)) userSizedColumns_.insert(column);
        }
    if (layout.SortColumn >= 0 && layout.SortColumn < TMessageListModel::kColumnCount) {
        sortColumn_ = layout.SortColumn;
        sortDirection_ = layout.Descending ? Qt::DescendingOrder : Qt::AscendingOrder;
        header->setSortIndicator(sortColumn_, sortDirection_);
    }
    keptSplitterSizes_ = layout.SplitterSizes;
    mmReadingPane_->setChecked(layout.ReadingPane);
}

void Twnd_oe_Main::SaveListLayout() const {
    TListLayout layout;
    for (int column = 0; column < TMessageListModel::kColumnCount; ++column)
        layout.ColumnWidths.append(Tree->header()->sectionSize(column));
    layout.UserSized = QList<int>(userSizedColumns_.begin(), userSizedColumns_.end());
    layout.SortColumn = sortColumn_;
    layout.Descending = sortDirection_ == Qt::DescendingOrder;
    layout.SplitterSizes = formShown_ ? Splitter1->sizes() : keptSplitterSizes_;
    layout.ReadingPane = mmReadingPane_->isChecked();
    WriteListLayout(layout);
}

void Twnd_oe_Main::UpdateCommands() {
    const bool open = session_->HasStore();
    const bool listed = open || session_->Found();
    mmSaveAll_->setEnabled(listed && Tree->selectionModel()->hasSelection());
    mmMessageView_->setEnabled(listed && Tree->currentIndex().isValid());
    mmFileProps_->setEnabled(open);
    mmGatherEmail_->setEnabled(open);
    mmExport_->setEnabled(open || folderPane_->Folder() != nullptr);
    mmUpload_->setEnabled(mmExport_->isEnabled());
}

// The reading pane shows while it is on and a row is focused; otherwise the header block.
void Twnd_oe_Main::ShowLowerPane() {
    const bool reading = mmReadingPane_->isChecked() && Tree->currentIndex().isValid();
    readingPane_->setVisible(reading);
    DetailPanel->setVisible(!reading);
    Memo->setVisible(!reading);
    if (!reading) readingPane_->Clear();
}

void Twnd_oe_Main::cmReadingPane() {
    // A message needs more room than its header block: the pane takes at least half.
    const QList<int> sizes = Splitter1->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    if (mmReadingPane_->isChecked() && sizes.value(1) < total / 2) Splitter1->setSizes({total / 2, total - total / 2});
    ShowLowerPane();
    if (Tree->currentIndex().isValid()) TreeFocusChanged(Tree->currentIndex().row());
}

void Twnd_oe_Main::ShowInReadingPane(int row) { readingPane_->ShowMessage(ShownWhole(model_->Handle(row))); }

int Twnd_oe_Main::RowAfterStep(int step) const {
    const QModelIndex current = Tree->currentIndex();
    const int row = current.isValid() ? current.row() + step : -1;
    return row >= 0 && row < model_->rowCount() ? row : -1;
}

TMessageHandle Twnd_oe_Main::StepToRow(int step) {
    const int row = RowAfterStep(step);
    if (row < 0) return {};
    const QModelIndex next = model_->index(row, 0);
    Tree->setCurrentIndex(next);
    Tree->scrollTo(next);
    return ShownWhole(model_->Handle(row));
}

TMessageStep Twnd_oe_Main::ListStep() {
    TMessageStep step;
    step.Move = [this](int by) { return StepToRow(by); };
    step.Has = [this](int by) { return RowAfterStep(by) >= 0; };
    return step;
}

// The next open dialog, in this run or the next, starts in the folder of the file chosen.
void Twnd_oe_Main::cmOpen() {
    if (!AppHooks().RunOpenDialog(this, od_)) return;
    const QString folder = QFileInfo(od_.FileName).absolutePath();
    od_.InitialDir = WithTrailingSeparator(folder);
    RememberFolder(TFolderUse::Open, folder);
    LoadFile(od_.FileName);
}

void Twnd_oe_Main::cmExit() { close(); }

void Twnd_oe_Main::cmAbout() {
    TdlgAbout about(this);
    AppHooks().RunModal(about);
}

void Twnd_oe_Main::cmWWW() { AppHooks().OpenUrl(QUrl(TdlgAbout::HomepageAddress())); }

void Twnd_oe_Main::mmEmailClick() { AppHooks().OpenUrl(QUrl(QStringLiteral("mailto:") + TdlgAbout::ContactAddress())); }

void Twnd_oe_Main::MRUListMenuItemClick(QAction* Sender) {
    const QStringList& items = mruList_->Items();
    int index = Tag(Sender);
    if (index < 0 || index >= items.size()) return;
    // A copy: opening the file moves its entry within the list.
    const QString path = items[index];
    LoadFile(path);
}

void Twnd_oe_Main::TreeHeaderClick(int column) {
    if (column == sortColumn_) {
        sortDirection_ = sortDirection_ == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        sortColumn_ = column;
        sortDirection_ = Qt::AscendingOrder;
    }
    Tree->header()->setSortIndicator(sortColumn_, sortDirection_);
    TWaitCursor wait;
    model_->SortRows(sortColumn_, sortDirection_);
}

void Twnd_oe_Main::TreeFocusChanged(int row) {
    ShowLowerPane();
    if (mmReadingPane_->isChecked()) ShowInReadingPane(row);
    TWaitCursor wait;
    DetailPanel->setText(kMessageHeaderCaption);
    const TMessageHandle message = model_->Handle(row);
    if (!message.Valid()) return;
    Memo->setPlainText(TextAsLines(message.Header()));
    SetStatusText(1, message.Recovered()
                         ? model_->index(row, TMessageListModel::colSender).data(Qt::ToolTipRole).toString()
                         : QFile::decodeName(QByteArray::fromStdString(session_->Reader()->FileName())));
}

void Twnd_oe_Main::TreeStateChange() {
    if (!session_->HasStore() && !session_->ScanIsResult()) return;
    const int64_t total =
        session_->HasStore() ? session_->MessageCount() + model_->FoundRowCount() : model_->UnfilteredRowCount();
    if (model_->Filtering())
        return SetStatusText(0, QStringLiteral("Shown: %1 of %2").arg(model_->rowCount()).arg(total));
    SetStatusText(0, QStringLiteral("Total / Selected: %1 / %2").arg(total).arg(SelectedCount()));
}

std::vector<std::pair<int, int>> Twnd_oe_Main::SelectedRanges() const {
    // Selection ranges may overlap; merged, they hold every selected row once.
    std::vector<std::pair<int, int>> ranges;
    for (const QItemSelectionRange& range : Tree->selectionModel()->selection())
        ranges.emplace_back(range.top(), range.bottom());
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::pair<int, int>> merged;
    for (auto [top, bottom] : ranges) {
        if (!merged.empty() && top <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, bottom);
        else
            merged.emplace_back(top, bottom);
    }
    return merged;
}

std::vector<int> Twnd_oe_Main::SelectedRows() const {
    std::vector<int> rows;
    for (auto [top, bottom] : SelectedRanges())
        for (int row = top; row <= bottom; ++row) rows.push_back(row);
    return rows;
}

int Twnd_oe_Main::SelectedCount() const {
    int count = 0;
    for (auto [top, bottom] : SelectedRanges()) count += bottom - top + 1;
    return count;
}

// A part of a split message shows whole when its siblings are all in the store (folder), and
// otherwise with a line that names the parts missing. The header tells a part, so other
// messages are not read here.
TMessageHandle Twnd_oe_Main::ShownWhole(const TMessageHandle& message) const {
    if (!message.Valid() || !PartialPartOf(message.Header())) return message;
    std::string text = message.Text();
    std::optional<TPartialFinding> partial = FindPartialParts(*session_, text);
    if (!partial) return message;
    std::string notice = message.Notice();
    if (!notice.empty()) notice += '\n';
    notice += PartialFindingLine(*partial);
    if (partial->Complete) text = std::move(partial->Whole);
    return TMessageHandle::OfText(std::move(text), message.CodePage(), std::move(notice));
}

void Twnd_oe_Main::cmMessageView() {
    QModelIndex focused = Tree->currentIndex();
    if (!focused.isValid()) return;
    const TMessageHandle message = model_->Handle(focused.row());
    if (!message.Valid()) return;
    AppHooks().ShowMessageView(ShownWhole(message), this, ListStep());
}

void Twnd_oe_Main::cmSaveAll() {
    if (!session_->HasStore() && !session_->Found()) return;
    QString folder = LastFolder(TFolderUse::Save);
    if (!ChooseFolder(QStringLiteral("Select folder"), QString(), folder, this)) return;
    RememberFolder(TFolderUse::Save, folder);
    TTargetFolder target(LocalPath(folder));
    std::vector<int> rows = SelectedRows();
    TReplaceAsker asker(target, AppHooks().AskReplace, this, rows.size() > 1);
    SetStatusText(1, QStringLiteral("Saving %1 messages...").arg(rows.size()));
    RepaintNow();
    size_t saved = 0;
    QStringList failed;
    for (int row : rows) {
        const TMessageHandle message = model_->Handle(row);
        if (!message.Valid()) continue;
        const std::string name = message.SaveName(model_->CodePage());
        std::optional<TIfExists> how = asker.HowToWrite(name);
        if (asker.Cancelled()) break;
        if (!how) continue;
        TWaitCursor wait;
        try {
            SaveMessageFile(target, name, message.Text(), *how);
            ++saved;
        } catch (const std::exception& error) {
            failed.append(QString::fromUtf8(error.what()));
        }
    }
    SetStatusText(1, SavedMessagesText(saved, rows.size(), asker.Cancelled(), failed, folder));
    // What could not be written is told in a box as well, once the others are saved.
    if (!failed.isEmpty()) throw std::runtime_error(failed.join(u'\n').toStdString());
}

// "Saved 3 messages to /path", or "Saved 2 of 3 messages to /path; not saved: ..." with the
// error of each message that could not be written.
QString Twnd_oe_Main::SavedMessagesText(size_t saved, size_t wanted, bool cancelled, const QStringList& failed,
                                        const QString& folder) {
    const QString shown = QDir::toNativeSeparators(folder);
    QString text = saved == wanted
                       ? QStringLiteral("Saved %1 message%2 to %3").arg(saved).arg(saved == 1 ? "" : "s").arg(shown)
                       : QStringLiteral("Saved %1 of %2 messages to %3").arg(saved).arg(wanted).arg(shown);
    if (cancelled) text += QStringLiteral(" (cancelled)");
    if (!failed.isEmpty()) text += QStringLiteral("; not saved: ") + failed.join(QStringLiteral("; "));
    return text;
}

void Twnd_oe_Main::cmGatherEmail() {
    if (!session_->HasStore()) return;
    std::vector<std::string> lines;
    {
        TWaitCursor wait;
        lines = GatherAddressLines(*session_->Reader(), model_->CodePage());
    }
    TAddressesDialog dialog(lines, this);
    AppHooks().RunModal(dialog);
}

void Twnd_oe_Main::cmFileProps() {
    TOEReader* reader = session_->Reader();
    if (!reader) return;
    ShowFileProperties(this, QFile::decodeName(QByteArray::fromStdString(reader->FileName())), reader);
}

// View > Deleted and Unindexed Messages scans a file that failed to open when asked.
void Twnd_oe_Main::OfferScanLater(const QString& path) {
    failedPath_ = path;
    mmDeletedMessages->setEnabled(true);
    mmDeletedMessages->setChecked(false);
}

void Twnd_oe_Main::cmDeletedMessages() {
    if (!failedPath_.isEmpty() && !session_->Rescue() && !scan_) {
        const QSignalBlocker quiet(mmDeletedMessages);
        mmDeletedMessages->setChecked(false);
        const QString path = failedPath_;
        StartRescueScan(path, true);
        return;
    }
    if (mmDeletedMessages->isChecked())
        ShowFoundRows();
    else if (!session_->ScanIsResult())
        model_->RemoveFoundRows();
    TreeStateChange();
}

// Until its end has been handled here: the worker may be done while its report is queued.
bool Twnd_oe_Main::ScanRunning() const { return scan_ != nullptr; }

void Twnd_oe_Main::StartRescueScan(const QString& path, bool asResult) {
    failedPath_.clear();
    scan_.reset();
    if (asResult) {
        // The list shows only what the scan finds; a reader that failed half-way is dropped.
        DropStore();
        const QString caption = QStringLiteral("Brindle - [Scan of %1]").arg(QFileInfo(path).fileName());
        setWindowTitle(caption);
        SetApplicationTitle(caption);
        SetStatusText(0, QStringLiteral("Scanning..."));
    }
    std::shared_ptr<TStoreRescue> rescue;
    try {
        rescue = session_->StartScan(LocalPath(path), asResult);
    } catch (const std::exception& error) {
        ShowScanFailed(QString::fromUtf8(error.what()));
        return;
    }
    scan_ = std::make_unique<TRescueScan>(std::move(rescue));
    connect(scan_.get(), &TRescueScan::Finished, this,
            [this](bool ok) { Guarded([this, ok] { RescueScanFinished(ok); }); });
    scan_->Start();
    ShowJobIn(*scan_->Job(), sbRescue_, sbProgress_);
}

void Twnd_oe_Main::CancelRescueScan() {
    failedPath_.clear();
    scan_.reset();
    session_->CancelScan();
    sbProgress_->hide();
    sbRescue_->clear();
    mmDeletedMessages->setEnabled(false);
}

void Twnd_oe_Main::RescueScanFinished(bool ok) {
    sbProgress_->hide();
    // This runs inside the scan's own signal: it is deleted once that has returned.
    TRescueScan* scan = scan_.release();
    scan->deleteLater();
    if (!session_->FinishScan(scan->Rescue(), ok, scan->ErrorText().toStdString())) return;
    if (!ok) {
        ShowScanFailed(scan->ErrorText());
        return;
    }
    if (session_->ScanIsResult()) {
        ShowScanResult();
        return;
    }
    const size_t unindexed = session_->UnindexedCount();
    sbRescue_->setText(unindexed == 0 ? QString() : MessagesFoundText(unindexed, "deleted or unindexed"));
    mmDeletedMessages->setEnabled(unindexed > 0);
    if (mmDeletedMessages->isChecked()) ShowFoundRows();
}

void Twnd_oe_Main::ShowScanFailed(const QString& error) {
    sbProgress_->hide();
    sbRescue_->setText(QStringLiteral("Scan failed"));
    sbRescue_->setToolTip(error);
    if (session_->ScanIsResult()) {
        SetStatusText(0, QStringLiteral("Found: 0"));
        SetStatusText(1, error);
    }
}

void Twnd_oe_Main::ShowScanResult() {
    std::vector<size_t> all(session_->RecoveredCount());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
    model_->Clear();
    model_->AddFoundRows(all);
    if (sortColumn_ >= 0) model_->SortRows(sortColumn_, sortDirection_);
    ForgetCurrentRow();
    FitColumns();
    UpdateCommands();
    DetailPanel->setText(kFilePropertiesCaption);
    const QString scanPath = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(session_->ScanPath())));
    Memo->setPlainText(QStringLiteral("Scan result: %1").arg(scanPath));
    sbRescue_->setText(
        QStringLiteral("Scan result: %1 message%2 found").arg(all.size()).arg(all.size() == 1 ? "" : "s"));
    SetStatusText(0, QStringLiteral("Found: %1").arg(all.size()));
    SetStatusText(1, scanPath);
}

void Twnd_oe_Main::ShowFoundRows() {
    if (!session_->Found() || session_->ScanIsResult() || model_->FoundRowCount() > 0) return;
    std::vector<size_t> unindexed;
    for (size_t i = 0; i < session_->RecoveredCount(); ++i)
        if (session_->RecoveredAt(i)->Found.Kind != TFoundKind::Indexed) unindexed.push_back(i);
    model_->AddFoundRows(unindexed);
    if (sortColumn_ >= 0) model_->SortRows(sortColumn_, sortDirection_);
}

void Twnd_oe_Main::cmOpenStoreFolder() {
    QString folder = od_.InitialDir;
    if (ChooseFolder(QStringLiteral("Open Store Folder"), QString(), folder, this)) OpenStoreFolder(folder);
}

void Twnd_oe_Main::OpenStoreFolder(const QString& dir) {
    std::vector<std::string> folderWarnings;
    TStoreFolder folder =
        ReadStoreFolder(LocalPath(dir), [&](const TWarning& warning) { folderWarnings.push_back(warning.Describe()); });
    // One code page for the whole folder: the one chosen for it before, else the decided one.
    const QString absoluteDir = QFileInfo(dir).absoluteFilePath();
    const std::string decided = folder.CodePage;
    const TCodePage* chosen = FindCodePage(TCharsetMenu::Remembered(absoluteDir));
    if (chosen && chosen->Label != folder.CodePage)
        folder = ReadStoreFolder(LocalPath(dir), {}, std::string(chosen->Label));
    ClearOpenStore();
    session_->OpenStoreFolder(LocalPath(absoluteDir), decided);
    const bool listed = folder.HasList || folder.HasVersion4Tree;
    folderPane_->SetFolder(std::move(folder));
    folderPane_->show();
    FitFolderPane(false);
    sbFolderNote_->setText(listed ? QString() : QStringLiteral("No folder list: the store files are shown by name"));
    CountUnreadMail();
    mruList_->AddFile(dir);
    const QString caption = QStringLiteral("Brindle - [%1]").arg(QDir::toNativeSeparators(dir));
    setWindowTitle(caption);
    SetApplicationTitle(caption);
    SetStatusText(0, QStringLiteral("Folders: %1").arg(folderPane_->Folder()->Nodes.size()));
    folderPane_->SelectNode(folderPane_->FirstNodeToOpen());
    for (std::string& warning : folderWarnings) session_->AddWarning(std::move(warning));
    ShowWarnings();
}

// A folder's store opens through the same steps as a file, but a failure is shown in the
// pane and the status bar instead of a box for each folder.
void Twnd_oe_Main::FolderChosen(int node) {
    const QString path = folderPane_->StorePath(node);
    if (path.isEmpty()) {
        ClearOpenStore();
        SetCaption(FolderCaption(node));
        SetStatusText(1, QStringLiteral("This folder has no store file"));
        return;
    }
    CancelRescueScan();
    try {
        ReadStore(path);
    } catch (const std::exception& error) {
        const QString text = FailureText(path, error);
        folderPane_->SetNodeError(node, text);
        SetStatusText(1, text + QStringLiteral(" (double-click the folder to scan its file)"));
        if (QFileInfo(path).isReadable()) OfferScanLater(path);
        return;
    }
    folderPane_->SetNodeError(node, QString());
    if (session_->Reader()->Loaded()) {
        folderPane_->SetNodeUnread(node, UnreadCount());
        FitFolderPane(true);
    }
    StartRescueScan(path, false);
}

uint32_t Twnd_oe_Main::UnreadCount() const {
    uint32_t unread = 0;
    for (int32_t i = 0; i < session_->MessageCount(); ++i)
        if ((session_->Indexed(i).Summary().Flags & kFlagRead) == 0) ++unread;
    return unread;
}

// The pane takes the width its names need, up to half the window; a name cut even so shows
// whole in its tip. growOnly keeps a pane that is wide enough as the user left it.
void Twnd_oe_Main::FitFolderPane(bool growOnly) {
    const int total = folderSplitter_->width() > 0 ? folderSplitter_->width() : width();
    const int pane = std::clamp(folderPane_->NamesWidth(), kFolderPaneWidth, std::max(kFolderPaneWidth, total / 2));
    if (growOnly && folderSplitter_->sizes().value(0) >= pane) return;
    folderSplitter_->setSizes({pane, std::max(total - pane, 0)});
}

// A folder whose store failed to open: asked for once more, it goes through the whole open
// flow, with its error box that offers to scan the file.
void Twnd_oe_Main::FolderActivated(int node) {
    if (!folderPane_->NodeError(node).isEmpty()) OpenStore(folderPane_->StorePath(node));
}

void Twnd_oe_Main::SessionChanged(TMailboxSession::TChange change) {
    switch (change) {
        // The list, the panes and the Character Set menu let go of the store before it goes.
        case TMailboxSession::TChange::StoreClosing:
            model_->Clear();
            charsetMenu_->Close();
            Memo->clear();
            readingPane_->Clear();
            break;
        case TMailboxSession::TChange::FoundClosing: model_->RemoveFoundRows(); break;
        case TMailboxSession::TChange::Warnings: ShowWarnings(); break;
        default: break;
    }
}

void Twnd_oe_Main::DropStore() {
    {
        const QSignalBlocker quiet(filterBox_);
        filterBox_->clear();
    }
    model_->SetFilter(QString());
    session_->CloseStore();
    Memo->clear();
    readingPane_->Clear();
}

void Twnd_oe_Main::ClearOpenStore() {
    CancelRescueScan();
    DropStore();
    DetailPanel->clear();
    session_->ClearWarnings();
    ShowWarnings();
    SetStatusText(0, QString());
    UpdateCommands();
}

void Twnd_oe_Main::CountUnreadMail() {
    unreadJob_.reset();
    if (!folderPane_->Folder()) return;
    unreadJob_ = std::make_unique<TBackgroundJob>(QStringLiteral("Counting unread mail"));
    connect(unreadJob_.get(), &TBackgroundJob::Finished, this, [this] {
        if (const auto* counts = unreadJob_->Result<std::vector<TNodeUnread>>())
            for (const TNodeUnread& count : *counts) folderPane_->SetNodeUnread(static_cast<int>(count.Node), count.Unread);
        FitFolderPane(true);
    });
    unreadJob_->Start([folder = *folderPane_->Folder()](TJobControl& control) -> std::any {
        return UnreadOfUncountedStores(folder, control.CancelFlag());
    });
}

void Twnd_oe_Main::CloseStoreFolder() {
    unreadJob_.reset();
    sbFolderNote_->clear();
    session_->CloseStoreFolder();
    folderPane_->Clear();
    folderPane_->hide();
}

TExportSources Twnd_oe_Main::ExportSources() const {
    TExportSources sources;
    if (TOEReader* reader = session_->Reader()) {
        const int node = folderPane_->CurrentNode();
        const std::string name =
            node >= 0 ? folderPane_->Folder()->Nodes[node].Name : ShownText(reader->GetFolderName()).toStdString();
        sources.OpenFolder = SingleStoreFolder(reader->FileName(), name);
        sources.OpenFolder->Nodes[0].Count = StoreHeaderCount(reader->FileName());
        for (int row : SelectedRows())
            if (const TMessageHandle message = model_->Handle(row); message.Valid() && message.Index())
                sources.Selected.push_back(*message.Index());
    }
    if (folderPane_->Folder()) sources.StoreFolder = *folderPane_->Folder();
    return sources;
}

void Twnd_oe_Main::cmExport() {
    TExportSources sources = ExportSources();
    if (!sources.OpenFolder && !sources.StoreFolder) return;
    TExportDialog dialog(std::move(sources), this);
    AppHooks().RunModal(dialog);
}

void Twnd_oe_Main::cmUpload() {
    TExportSources sources = ExportSources();
    if (sources.OpenFolder || sources.StoreFolder) RunUploadDialog(std::move(sources), this);
}

// The open store folder, else the open store, else a folder the user chooses.
void Twnd_oe_Main::cmHealth() {
    const TOEReader* reader = session_->Reader();
    QString path = !session_->StoreFolder().empty() ? QFile::decodeName(QByteArray::fromStdString(session_->StoreFolder()))
                   : reader ? QFile::decodeName(QByteArray::fromStdString(reader->FileName()))
                            : QString();
    if (path.isEmpty() && !ChooseFolder(QStringLiteral("Check the store folder"), QString(), path, this)) return;
    THealthDialog dialog(QFile::encodeName(path).toStdString(), this);
    AppHooks().RunModal(dialog);
}

void Twnd_oe_Main::closeEvent(QCloseEvent* event) {
    SaveListLayout();
    if (scan_) {
        scan_.reset();
        sbProgress_->hide();
        sbRescue_->clear();
    }
    QMainWindow::closeEvent(event);
}

bool Twnd_oe_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Tree->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease))
        Guarded([this] { TreeStateChange(); });
    return QMainWindow::eventFilter(watched, event);
}

void Twnd_oe_Main::dragEnterEvent(QDragEnterEvent* event) {
    if (IsOpenableDrop(event->mimeData())) event->acceptProposedAction();
}

void Twnd_oe_Main::dropEvent(QDropEvent* event) {
    if (!IsOpenableDrop(event->mimeData())) return;
    event->acceptProposedAction();
    QString path = event->mimeData()->urls().front().toLocalFile();
    Guarded([this, path] { LoadFile(path); });
}

// The focused message stays focused while the filter shows it; otherwise the lower pane
// lets it go.
void Twnd_oe_Main::FilterChanged(const QString& text) {
    const QModelIndex current = Tree->currentIndex();
    const std::optional<int32_t> focused =
        current.isValid() ? std::optional<int32_t>(model_->MessageIndex(current.row())) : std::nullopt;
    model_->SetFilter(text);
    if (focused) {
        for (int row = 0; row < model_->rowCount(); ++row)
            if (model_->MessageIndex(row) == *focused) {
                Tree->setCurrentIndex(model_->index(row, 0));
                break;
            }
    }
    if (!Tree->currentIndex().isValid()) ShowLowerPane();
    TreeStateChange();
}

void Twnd_oe_Main::cmFilter() {
    filterBox_->setFocus(Qt::ShortcutFocusReason);
    filterBox_->selectAll();
}

// The folder list's names of the stores that a search goes through, in the code page in use;
// a store opened alone goes by the name its caption shows.
std::map<std::string, QString> Twnd_oe_Main::FolderNamesForFind() const {
    std::map<std::string, QString> names;
    if (const TStoreFolder* folder = folderPane_->Folder()) {
        for (const TFolderNode& node : folder->Nodes)
            if (node.File) names[JoinPath(folder->Path, *node.File)] = QString::fromStdString(node.Name);
    } else if (const TOEReader* reader = session_->Reader()) {
        names[reader->FileName()] = StoreCaptionName();
    }
    return names;
}

void Twnd_oe_Main::cmFindInMessages() { FindInMessages(QString()); }

void Twnd_oe_Main::FindInMessages(const QString& text) {
    // A store folder is searched whole; otherwise the open store.
    const TStoreFolder* folder = folderPane_->Folder();
    if (!folder && !session_->HasStore()) return;
    TFindDialog dialog(folder ? folder->Path : session_->Reader()->FileName(), this);
    dialog.SetFolderNames(FolderNamesForFind());
    // Hits of the open store are read through its reader, which is open already.
    dialog.OpenHit = [this, &dialog](const TSearchHit& hit) {
        const TOEReader* reader = session_->Reader();
        const bool open = reader && hit.File == reader->FileName();
        AppHooks().ShowMessageView(
            open ? session_->Indexed(hit.Index) : TMessageHandle::OfText(ReadHitText(hit), session_->CodePage()),
            &dialog, {});
    };
    if (!text.isEmpty()) dialog.Find(text);
    AppHooks().RunModal(dialog);
}

}  // namespace brindle
