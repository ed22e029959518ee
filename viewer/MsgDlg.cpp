#include "viewer/MsgDlg.h"

#include "components/DefaultHandler.h"
#include "components/ReplaceQuestion.h"
#include "components/WaitCursor.h"
#include "mime/SaveNames.h"
#include "platform/StringList.h"
#include "platform/Utf8.h"
#include "viewer/AttachmentOpen.h"
#include "viewer/HTMLViewer.h"
#include "viewer/HtmlGuard.h"
#include "viewer/Icons.h"
#include "viewer/MessageBody.h"
#include "viewer/SynMemo.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"
#include "viewer/ViewerText.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QVBoxLayout>

namespace brindle {
namespace {

constexpr int kTypeRole = Qt::UserRole;
constexpr int kSizeRole = Qt::UserRole + 1;
constexpr int kBorder = 10;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 23;
constexpr int kHeaderFooterPoints = 8;
constexpr int kAttachmentsBoxHeight = 160;
constexpr size_t kMaxCaptionBytes = 255;
constexpr int kHeaderRowHeight = 21;
constexpr int kHeaderRows = 5;
constexpr int kHeaderStripPadding = 9;  // above and below the rows of the header strip

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

// Arial 8 point in print units, which are screen pixels at scale 1.
QFont PrintFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qRound(kHeaderFooterPoints * THTMLViewer::ScreenDpi() / 72.0));
    return font;
}

// An attachment's name as the list shows it: at most kMaxCaptionBytes of it.
QString Caption(const std::string& fileName) {
    const std::string shown = Utf8OrCp1252(fileName);
    const std::string_view cut = Utf8Prefix(shown, kMaxCaptionBytes);
    QString caption = QString::fromUtf8(cut.data(), static_cast<qsizetype>(cut.size()));
    if (cut.size() < shown.size()) caption += QChar(0x2026);
    return caption;
}

// Draws the text so that the named corner of its cell lies at the reference point: its
// bottom edge, and its left or right edge.
void DrawTextAt(QPainter& canvas, QPointF reference, const QString& text, Qt::Alignment horizontal) {
    const QFontMetricsF metrics(canvas.font());
    double x = reference.x();
    if (horizontal == Qt::AlignRight) x -= metrics.horizontalAdvance(text);
    canvas.drawText(QPointF(x, reference.y() - metrics.descent()), text);
}

// Header and footer texts are black: paper is white whatever the screen's colour scheme.
void PreparePrintCanvas(QPainter& canvas) {
    canvas.setFont(PrintFont());
    canvas.setPen(Qt::black);
}

QPushButton* MakeButton(const QString& caption, const char* name) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QLatin1String(name));
    button->setCursor(Qt::PointingHandCursor);
    button->setAutoDefault(false);
    button->setFixedHeight(kButtonHeight);
    button->setMinimumWidth(kButtonWidth);
    return button;
}

// A read-only single-line box without a frame, in the given colour.
QLineEdit* MakeReadOnlyBox(const char* name, const QColor& background) {
    auto* box = new QLineEdit;
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setFrame(false);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, background);
    box->setPalette(palette);
    return box;
}

// Underlines the caption of the item under the mouse pointer.
class THotTrackDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->state & QStyle::State_MouseOver) option->font.setUnderline(true);
    }
};

}  // namespace

Tdlg_oe_Msg::Tdlg_oe_Msg(QWidget* parent)
    : QDialog(parent),
      ListColumns{{{QStringLiteral("Název"), 150, Qt::AlignLeft},
                   {QStringLiteral("Typ"), 100, Qt::AlignLeft},
                   {QStringLiteral("Velikost [B]"), 125, Qt::AlignRight}}} {
    setObjectName(QStringLiteral("dlg_oe_Msg"));
    setWindowTitle(QStringLiteral("Brindle"));
    setFont(DialogFont());
    resize(483, 583);
    setMinimumSize(130, 50);
    setMaximumSize(1288, 1032);
    setSizeGripEnabled(true);

    pc = new QTabWidget;
    pc->setObjectName(QStringLiteral("pc"));
    pc->tabBar()->setCursor(Qt::PointingHandCursor);
    pc->addTab(BuildGeneralTab(), QStringLiteral(" &General "));
    pc->addTab(BuildHtmlTab(), QStringLiteral(" &HTML View "));
    pc->addTab(BuildSourceTab(), QStringLiteral(" S&ource "));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* tabArea = new QVBoxLayout;
    tabArea->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    tabArea->addWidget(pc);
    layout->addLayout(tabArea, 1);
    layout->addWidget(BuildBottomBar());

    ConnectHandlers();
    FormCreate();
}

Tdlg_oe_Msg::~Tdlg_oe_Msg() = default;

QWidget* Tdlg_oe_Msg::BuildHeaderStrip() {
    auto* strip = new QWidget;
    strip->setObjectName(QStringLiteral("HeaderStrip"));
    strip->setFixedHeight(kHeaderRows * kHeaderRowHeight + kHeaderStripPadding);
    strip->setAutoFillBackground(true);
    QPalette stripPalette = strip->palette();
    stripPalette.setColor(QPalette::Window, stripPalette.color(QPalette::Button));
    strip->setPalette(stripPalette);
    const QColor stripColor = stripPalette.color(QPalette::Button);

    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(EnvelopeIcon());
    Image1->setFixedSize(32, 32);

    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(5, 4, 5, 0);
    grid->setHorizontalSpacing(5);
    grid->setVerticalSpacing(0);
    grid->addWidget(Image1, 0, 0, kHeaderRows, 1, Qt::AlignTop);
    grid->setColumnMinimumWidth(1, 46);
    const std::array<const char*, kHeaderRows> captions = {"Sender:", "To:", "Cc:", "Subject:", "Sent:"};
    const std::array<const char*, kHeaderRows> labelNames = {"Label2", "LabelTo", "LabelCc", "Label3", "Label4"};
    const std::array<const char*, kHeaderRows> boxNames = {"eFrom", "eTo", "eCc", "eSubject", "eSent"};
    std::array<QLineEdit*, kHeaderRows> boxes{};
    for (int row = 0; row < kHeaderRows; ++row) {
        auto* label = new QLabel(QLatin1String(captions[row]));
        label->setObjectName(QLatin1String(labelNames[row]));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        QPalette labelPalette = label->palette();
        labelPalette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(labelPalette);
        boxes[row] = MakeReadOnlyBox(boxNames[row], stripColor);
        QPalette boxPalette = boxes[row]->palette();
        boxPalette.setColor(QPalette::Text, Qt::black);
        boxes[row]->setPalette(boxPalette);
        boxes[row]->setFixedHeight(kHeaderRowHeight);
        grid->addWidget(label, row, 1);
        grid->addWidget(boxes[row], row, 2);
        grid->setRowMinimumHeight(row, kHeaderRowHeight);
    }
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(kHeaderRows, 1);
    eFrom = boxes[0];
    eTo = boxes[1];
    eCc = boxes[2];
    eSubject = boxes[3];
    eSent = boxes[4];
    return strip;
}

QWidget* Tdlg_oe_Msg::BuildAttachmentsBox() {
    auto* box = new QGroupBox(QStringLiteral(" Attachments "));
    box->setObjectName(QStringLiteral("AttachmentsBox"));
    box->setFixedHeight(kAttachmentsBoxHeight);

    List = NewAttachmentList(QStringLiteral("List"));
    List->setSelectionBehavior(QAbstractItemView::SelectRows);
    List->setMouseTracking(true);
    List->viewport()->setCursor(Qt::PointingHandCursor);
    List->setItemDelegate(new THotTrackDelegate(List));

    bSave = MakeButton(QStringLiteral("Save &attachment..."), "bSave");
    bSave->setEnabled(false);
    bSaveAll = MakeButton(QStringLiteral("Save a&ll attachments..."), "bSaveAll");
    bSaveAll->setEnabled(false);
    const QColor face = palette().color(QPalette::Button);
    eAI = MakeReadOnlyBox("eAI", face);
    eAI->setFixedHeight(18);
    eAS = MakeReadOnlyBox("eAS", face);
    eAS->setFixedSize(86, 18);

    // The type and size of the selected attachment have a row of their own: beside the two
    // buttons a content type would have a few dozen pixels.
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(2, 0, 0, 0);
    buttonRow->setSpacing(6);
    buttonRow->addWidget(bSave);
    buttonRow->addWidget(bSaveAll);
    buttonRow->addStretch(1);
    auto* infoRow = new QHBoxLayout;
    infoRow->setContentsMargins(2, 0, 0, 6);
    infoRow->setSpacing(6);
    infoRow->addWidget(eAI, 1);
    infoRow->addWidget(eAS);

    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(kBorder, kBorder, kBorder, 0);
    layout->setSpacing(4);
    layout->addWidget(List, 1);
    layout->addLayout(buttonRow);
    layout->addLayout(infoRow);
    return box;
}

QWidget* Tdlg_oe_Msg::BuildGeneralTab() {
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    Memo = new TTextView;
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->SetWordWrap(true);
    lNotice = NewNoticeLabel();

    auto* layout = new QVBoxLayout(TabSheet1);
    layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    layout->setSpacing(0);
    layout->addWidget(BuildHeaderStrip());
    layout->addWidget(lNotice);
    layout->addWidget(Memo, 1);
    layout->addSpacing(kBorder);
    layout->addWidget(BuildAttachmentsBox());
    return TabSheet1;
}

QWidget* Tdlg_oe_Msg::BuildHtmlTab() {
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    HTMLViewer = new THTMLViewer;
    HTMLViewer->setObjectName(QStringLiteral("HTMLViewer"));
    HTMLText = new TTextView;
    HTMLText->setObjectName(QStringLiteral("HTMLText"));
    HTMLText->setFrameStyle(HTMLViewer->frameStyle());
    HTMLText->setLineWidth(HTMLViewer->lineWidth());
    HTMLText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    HTMLText->setFont(HTMLViewer->font());
    HTMLText->SetWordWrap(true);
    htmlPages_ = new QStackedWidget;
    htmlPages_->addWidget(HTMLViewer);
    htmlPages_->addWidget(HTMLText);
    LbButton1 = MakeButton(QStringLiteral("P&rint..."), "LbButton1");
    LbButton1->setFixedWidth(kButtonWidth);
    eSB = MakeReadOnlyBox("eSB", palette().color(QPalette::Button));
    eSB->setFixedHeight(21);

    auto* bottomRow = new QWidget;
    bottomRow->setFixedHeight(37);
    auto* row = new QHBoxLayout(bottomRow);
    row->setContentsMargins(0, 11, 0, 3);
    row->setSpacing(11);
    row->addWidget(LbButton1);
    row->addWidget(eSB, 1);

    auto* layout = new QVBoxLayout(TabSheet2);
    layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    layout->setSpacing(0);
    layout->addWidget(htmlPages_, 1);
    layout->addWidget(bottomRow);
    return TabSheet2;
}

QWidget* Tdlg_oe_Msg::BuildSourceTab() {
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    SynMemo = new TSynMemo;
    SynMemo->setObjectName(QStringLiteral("SynMemo"));
    auto* layout = new QVBoxLayout(TabSheet3);
    layout->setContentsMargins(kBorder, kBorder, kBorder, kBorder);
    layout->addWidget(SynMemo);
    return TabSheet3;
}

QWidget* Tdlg_oe_Msg::BuildBottomBar() {
    auto* bar = new QWidget;
    bar->setObjectName(QStringLiteral("BottomBar"));
    bar->setFixedHeight(41);
    bPrevious = MakeButton(QStringLiteral("< &Previous"), "bPrevious");
    bNext = MakeButton(QStringLiteral("&Next >"), "bNext");
    bPrevious->setToolTip(QStringLiteral("Previous message in the list (Ctrl+, or Alt+Left)"));
    bNext->setToolTip(QStringLiteral("Next message in the list (Ctrl+. or Alt+Right)"));
    bPrevious->hide();
    bNext->hide();
    LbButton3 = MakeButton(QStringLiteral("&Close"), "LbButton3");
    LbButton3->setFixedWidth(kButtonWidth);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(kBorder, 8, kBorder, 10);
    row->addWidget(bPrevious, 0, Qt::AlignTop);
    row->addWidget(bNext, 0, Qt::AlignTop);
    row->addStretch(1);
    row->addWidget(LbButton3, 0, Qt::AlignTop);
    return bar;
}

void Tdlg_oe_Msg::ConnectHandlers() {
    connect(List, &QListWidget::itemSelectionChanged, this, [this] { ListChange(); });
    connect(List->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                for (const QModelIndex& index : deselected.indexes()) ListSelectItem(List->item(index.row()), false);
                for (const QModelIndex& index : selected.indexes()) ListSelectItem(List->item(index.row()), true);
            });
    connect(bSave, &QPushButton::clicked, this, [this] { RunGuarded([this] { bSaveClick(); }, this); });
    connect(bSaveAll, &QPushButton::clicked, this, [this] { RunGuarded([this] { bSaveAllClick(); }, this); });
    connect(LbButton1, &QPushButton::clicked, this, [this] { RunGuarded([this] { LbButton1Click(); }, this); });
    connect(LbButton3, &QPushButton::clicked, this, &QDialog::reject);
    connect(List, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { RunGuarded([this, item] { OpenAttachmentItem(List->row(item)); }, this); });
    connect(bPrevious, &QPushButton::clicked, this, [this] { RunGuarded([this] { Step(-1); }, this); });
    connect(bNext, &QPushButton::clicked, this, [this] { RunGuarded([this] { Step(1); }, this); });
    const std::array<std::pair<QKeySequence, int>, 4> stepKeys = {{{QKeySequence(Qt::CTRL | Qt::Key_Comma), -1},
                                                                   {QKeySequence(Qt::ALT | Qt::Key_Left), -1},
                                                                   {QKeySequence(Qt::CTRL | Qt::Key_Period), 1},
                                                                   {QKeySequence(Qt::ALT | Qt::Key_Right), 1}}};
    for (const auto& [keys, step] : stepKeys)
        connect(new QShortcut(keys, this), &QShortcut::activated, this,
                [this, step] { RunGuarded([this, step] { Step(step); }, this); });
    HTMLViewer->OnHotSpotClick = [this](THTMLViewer* sender, const QString& src, bool& handled) {
        RunGuarded([&] { HTMLViewerHotSpotClick(sender, src, handled); }, this);
    };
    HTMLViewer->OnHotSpotCovered = [this](THTMLViewer* sender, const QString& src) {
        HTMLViewerHotSpotCovered(sender, src);
    };
    HTMLViewer->OnPrintHeader = [this](THTMLViewer* sender, QPainter& canvas, int page, int w, int h, bool& stop) {
        HTMLViewerPrintHeader(sender, canvas, page, w, h, stop);
    };
    HTMLViewer->OnPrintFooter = [this](THTMLViewer* sender, QPainter& canvas, int page, int w, int h, bool& stop) {
        HTMLViewerPrintFooter(sender, canvas, page, w, h, stop);
    };
    HTMLViewer->SetInlineImageSource([this](const QString& contentId) { return InlineImageData(contentId); });
}

void Tdlg_oe_Msg::FormCreate() { pc->setCurrentIndex(0); }

void Tdlg_oe_Msg::LoadMessage(const std::string& rawText, const std::string& storeCodePage) {
    MoxMsg.StoreCodePage = storeCodePage;
    MoxMsg.SetRawText(rawText);
    MoxMsg.ClearRawMailAfterParse = true;
    MoxMsg.Parse();
    // The source shows the raw text itself, split into the same lines as the message's.
    SynMemo->SetText(rawText);
    FillFromMessage();
    LoadBody();
}

void Tdlg_oe_Msg::LoadHandle(const TMessageHandle& message) {
    LoadMessage(message.Text(), message.CodePage());
    SetNotice(QString::fromStdString(message.Notice()));
}

void Tdlg_oe_Msg::SetMessageStep(TMessageStep step) {
    step_ = std::move(step);
    bPrevious->setVisible(static_cast<bool>(step_));
    bNext->setVisible(static_cast<bool>(step_));
    EnableStepButtons();
}

// A button that would find no message is greyed: Previous on the list's first, Next on its last.
void Tdlg_oe_Msg::EnableStepButtons() {
    bPrevious->setEnabled(step_ && step_.Has(-1));
    bNext->setEnabled(step_ && step_.Has(1));
}

bool Tdlg_oe_Msg::Step(int step) {
    if (!step_) return false;
    const TMessageHandle message = step_.Move(step);
    if (!message.Valid()) return false;
    ReplaceMessage(message);
    EnableStepButtons();
    return true;
}

void Tdlg_oe_Msg::ReplaceMessage(const TMessageHandle& message) {
    MoxMsg = TMoxMsg();
    List->clear();
    for (QLineEdit* box : {eAI, eAS, eSB}) SetBoxText(box, QString());
    bSave->setEnabled(false);
    LoadHandle(message);
}

void Tdlg_oe_Msg::OpenAttachmentItem(int row) {
    if (row < 0 || static_cast<size_t>(row) >= MoxMsg.AttachedFiles.Count()) return;
    const std::vector<std::string> names = AttachmentSaveNames(MoxMsg.AttachedFiles);
    OpenAttachment(MoxMsg, static_cast<size_t>(row), names.at(static_cast<size_t>(row)), this);
}

// A body without any HTML part is shown as the plain text it is; HTML rules would swallow
// every address in angle brackets and run all lines into one paragraph. HTML goes through
// GuardHtml, which bounds the nesting that the control would need unbounded time for. A large
// plain text shares the General tab's text, which is the same, instead of becoming a document.
void Tdlg_oe_Msg::LoadBody() {
    const TViewBody body = HtmlViewBody(MoxMsg);
    if (!body.html && body.text.size() > kLargePlainTextBytes) {
        HTMLViewer->LoadFromString(QString());
        HTMLText->ShareText(*Memo);
        htmlPages_->setCurrentWidget(HTMLText);
        return;
    }
    HTMLText->SetText({});
    htmlPages_->setCurrentWidget(HTMLViewer);
    HTMLViewer->LoadFromString(QString::fromStdString(BodyDocument(body)));
}

std::string_view Tdlg_oe_Msg::InlineImageData(const QString& contentId) const {
    return InlineImageOf(MoxMsg, contentId.toStdString());
}

void Tdlg_oe_Msg::FillFromMessage() {
    TWaitCursor wait;
    SetBoxText(eFrom, ShownBytes(MoxMsg.From));
    SetBoxText(eTo, ShownBytes(MoxMsg.ShownTo));
    SetBoxText(eCc, ShownBytes(MoxMsg.ShownCc));
    SetBoxText(eSubject, ShownBytes(MoxMsg.Subject));
    setWindowTitle(MoxMsg.Subject.empty() ? QStringLiteral("Brindle")
                                          : ShownBytes(MoxMsg.Subject).simplified() + QStringLiteral(" - Brindle"));
    SetBoxText(eSent, ShownBytes(MoxMsg.Date));
    Memo->SetText(MessageBodyText(MoxMsg));
    const QIcon icon(AttachmentIcon());
    for (size_t i = 0; i < MoxMsg.AttachedFiles.Count(); ++i) {
        const TAttachedFile& file = MoxMsg.AttachedFiles.Items(i);
        auto* item = new QListWidgetItem(icon, Caption(file.FileName));
        item->setToolTip(ShownBytes(file.FileName));
        item->setData(kTypeRole, ShownBytes(file.ContentType));
        item->setData(kSizeRole, QString::number(static_cast<qulonglong>(file.Data.size())));
        List->addItem(item);
    }
    bSaveAll->setEnabled(MoxMsg.AttachedFiles.Count() > 0);
}

void Tdlg_oe_Msg::SetNotice(const QString& notice) { brindle::SetNotice(lNotice, notice); }

void Tdlg_oe_Msg::ListChange() { bSave->setEnabled(!List->selectedItems().isEmpty()); }

void Tdlg_oe_Msg::ListSelectItem(QListWidgetItem* Item, bool Selected) {
    (void)Selected;
    if (!Item) return;
    SetBoxText(eAI, Item->data(kTypeRole).toString());
    SetBoxText(eAS, Item->data(kSizeRole).toString() + QStringLiteral(" B"));
}

int Tdlg_oe_Msg::SelectedAttachment() const {
    const QList<QListWidgetItem*> selected = List->selectedItems();
    if (selected.isEmpty()) return -1;
    const int row = List->row(selected.first());
    if (row < 0 || static_cast<size_t>(row) >= MoxMsg.AttachedFiles.Count()) return -1;
    return row;
}

void Tdlg_oe_Msg::bSaveClick() {
    int index = SelectedAttachment();
    if (index < 0) return;
    if (!sd) {
        sd = new QFileDialog(this, QStringLiteral("Uložit přílohu..."));
        sd->setObjectName(QStringLiteral("sd"));
        sd->setAcceptMode(QFileDialog::AcceptSave);
        sd->setFileMode(QFileDialog::AnyFile);
        sd->setSizeGripEnabled(true);
        // A taken name is asked about below, where a link is replaced and never followed.
        sd->setOption(QFileDialog::DontConfirmOverwrite);
    }
    sd->selectFile(ShownBytes(MoxMsg.AttachedFiles.Items(static_cast<size_t>(index)).FileName));
    const QString path = ViewerHooks().RunSaveDialog(*sd);
    if (path.isEmpty()) return;
    index = SelectedAttachment();
    if (index < 0) return;
    const QFileInfo chosen(path);
    TTargetFolder folder(QFile::encodeName(chosen.path()).toStdString());
    const std::string name = QFile::encodeName(chosen.fileName()).toStdString();
    TReplaceAsker asker(folder, ViewerHooks().AskReplace, this, false);
    if (std::optional<TIfExists> how = asker.HowToWrite(name))
        MoxMsg.AttachedFiles.Items(static_cast<size_t>(index)).SaveToFile(folder, name, *how);
}

void Tdlg_oe_Msg::bSaveAllClick() {
    const size_t count = MoxMsg.AttachedFiles.Count();
    if (count == 0) return;
    const QString chosen = ViewerHooks().ChooseFolder(this, QStringLiteral("Save all attachments"));
    if (chosen.isEmpty()) return;
    ThrowIfNotSaved(SaveAttachments(MoxMsg, AttachmentSaveNames(MoxMsg.AttachedFiles), std::nullopt, chosen, this));
}

void Tdlg_oe_Msg::HTMLViewerHotSpotClick(THTMLViewer* Sender, const QString& SRC, bool& Handled) {
    (void)Sender;
    OpenDesktopLink(SRC, Handled);
}

void Tdlg_oe_Msg::HTMLViewerHotSpotCovered(THTMLViewer* Sender, const QString& SRC) {
    QString status;
    if (!SRC.isEmpty()) status += QStringLiteral("URL: ") + SRC;
    const QString title = Sender->TitleText();
    if (!title.isEmpty()) status += QStringLiteral("Title: ") + title;
    SetBoxText(eSB, status);
}

QPrinter& Tdlg_oe_Msg::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer_;
}

void Tdlg_oe_Msg::LbButton1Click() {
    if (!pd) {
        pd = new QPrintDialog(&Printer(), this);
        pd->setObjectName(QStringLiteral("pd"));
        pd->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                       QAbstractPrintDialog::PrintCollateCopies);
    }
    if (!ViewerHooks().RunPrintDialog(*pd)) return;
    int first = kFirstPrintPage;
    int last = kLastPrintPage;
    if (pd->printRange() == QAbstractPrintDialog::PageRange) {
        first = pd->fromPage();
        last = pd->toPage();
    }
    PrintPages(Printer(), first, last);
}

int Tdlg_oe_Msg::PrintPages(QPrinter& printer, int firstPage, int lastPage) {
    TWaitCursor wait;
    if (htmlPages_->currentWidget() == HTMLText)
        return HTMLViewer->PrintText(printer, HTMLText->Lines(), firstPage, lastPage);
    return HTMLViewer->Print(printer, firstPage, lastPage);
}

void Tdlg_oe_Msg::HTMLViewerPrintHeader(THTMLViewer* Sender, QPainter& Canvas, int NumPage, int W, int H,
                                        bool& StopPrinting) {
    (void)Sender, (void)NumPage, (void)StopPrinting;
    PreparePrintCanvas(Canvas);
    DrawTextAt(Canvas, QPointF(50, H - 5), QStringLiteral("Sender: ") + eFrom->text(), Qt::AlignLeft);
    DrawTextAt(Canvas, QPointF(W - 50, H - 5), QStringLiteral("Subject: ") + eSubject->text(), Qt::AlignRight);
}

void Tdlg_oe_Msg::HTMLViewerPrintFooter(THTMLViewer* Sender, QPainter& Canvas, int NumPage, int W, int H,
                                        bool& StopPrinting) {
    (void)Sender, (void)H, (void)StopPrinting;
    PreparePrintCanvas(Canvas);
    DrawTextAt(Canvas, QPointF(50, 20), QStringLiteral("Date: ") + eSent->text(), Qt::AlignLeft);
    DrawTextAt(Canvas, QPointF(W - 50, 20), QStringLiteral("Page: ") + QString::number(NumPage), Qt::AlignRight);
}

}  // namespace brindle
