#pragma once
// The message viewer dialog: one message on three tabs (" General ", " HTML View ",
// " Source "), with saving of attachments, link handling and printing.
#include "mailbox/MailboxSession.h"
#include "mailbox/MessageStep.h"
#include "mime/MoxMsg.h"

#include <QDialog>
#include <QString>

#include <array>
#include <memory>
#include <string>
#include <string_view>

class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPainter;
class QPrintDialog;
class QPrinter;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QWidget;

namespace brindle {

class THTMLViewer;
class TSynMemo;
class TTextView;

struct TListColumn {
    QString Caption;
    int Width;
    Qt::Alignment Alignment;
};

class Tdlg_oe_Msg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFirstPrintPage = 1;
    static constexpr int kLastPrintPage = 9999;
    // A body without HTML larger than this shows on the HTML View in HTMLText, which lays out
    // only the lines in view, instead of as a document in HTMLViewer.
    static constexpr size_t kLargePlainTextBytes = 64 * 1024;

    explicit Tdlg_oe_Msg(QWidget* parent = nullptr);
    ~Tdlg_oe_Msg() override;

    // Parses the raw text and fills the three tabs. Errors pass to the caller.
    void LoadMessage(const std::string& rawText, const std::string& storeCodePage = {});
    // As LoadMessage with the handle's text and code page, and its notice shown.
    void LoadHandle(const TMessageHandle& message);
    void FillFromMessage();
    // Shows a notice above the text on " General "; an empty one hides it.
    void SetNotice(const QString& notice);
    // Lets the dialog move through the list it was opened from (buttons, Ctrl+, Ctrl+. and
    // Alt+Left, Alt+Right); none hides the buttons. A button that leads nowhere is greyed.
    void SetMessageStep(TMessageStep step);
    // Shows the message step rows away; false when there is none (the message stays).
    bool Step(int step);
    // Shows another message in place of this one, on the tab that is open.
    void ReplaceMessage(const TMessageHandle& message);
    // Opens the attachment in that row of the list, as a double-click on it does.
    void OpenAttachmentItem(int row);

    void FormCreate();
    void ListChange();
    void ListSelectItem(QListWidgetItem* Item, bool Selected);
    void bSaveClick();
    void bSaveAllClick();
    void HTMLViewerHotSpotClick(THTMLViewer* Sender, const QString& SRC, bool& Handled);
    void HTMLViewerHotSpotCovered(THTMLViewer* Sender, const QString& SRC);
    void LbButton1Click();
    void HTMLViewerPrintHeader(THTMLViewer* Sender, QPainter& Canvas, int NumPage, int W, int H, bool& StopPrinting);
    void HTMLViewerPrintFooter(THTMLViewer* Sender, QPainter& Canvas, int NumPage, int W, int H, bool& StopPrinting);

    // The printer that the print dialog sets up and printing uses.
    QPrinter& Printer();
    // Prints the HTML view with its header and footer; gives the number of pages printed.
    int PrintPages(QPrinter& printer, int firstPage, int lastPage);

    TMoxMsg MoxMsg;

    // The list's column definitions; the large-icon view does not show them.
    const std::array<TListColumn, 3> ListColumns;

    QTabWidget* pc = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QLabel* Image1 = nullptr;
    QLineEdit* eFrom = nullptr;
    QLineEdit* eTo = nullptr;
    QLineEdit* eCc = nullptr;
    QLineEdit* eSubject = nullptr;
    QLineEdit* eSent = nullptr;
    QLabel* lNotice = nullptr;
    TTextView* Memo = nullptr;
    QListWidget* List = nullptr;
    QPushButton* bSave = nullptr;
    QPushButton* bSaveAll = nullptr;
    QLineEdit* eAI = nullptr;
    QLineEdit* eAS = nullptr;
    THTMLViewer* HTMLViewer = nullptr;
    TTextView* HTMLText = nullptr;
    QPushButton* LbButton1 = nullptr;
    QLineEdit* eSB = nullptr;
    TSynMemo* SynMemo = nullptr;
    QPushButton* LbButton3 = nullptr;
    QPushButton* bPrevious = nullptr;
    QPushButton* bNext = nullptr;
    QFileDialog* sd = nullptr;
    QPrintDialog* pd = nullptr;

private:
    QWidget* BuildGeneralTab();
    QWidget* BuildHeaderStrip();
    QWidget* BuildAttachmentsBox();
    QWidget* BuildHtmlTab();
    QWidget* BuildSourceTab();
    QWidget* BuildBottomBar();
    void ConnectHandlers();
    void LoadBody();
    void EnableStepButtons();
    std::string_view InlineImageData(const QString& contentId) const;
    int SelectedAttachment() const;

    std::unique_ptr<QPrinter> printer_;
    TMessageStep step_;
    QStackedWidget* htmlPages_ = nullptr;
};

}  // namespace brindle
