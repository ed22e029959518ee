#pragma once
// The HTML rendering control of the viewer. It shows one document given as a string and
// never loads anything from the network or the file system: the only resources it resolves
// are the message's own inline images, named by cid: references. Links are reported to the
// owner, which decides what happens; the control itself only scrolls to "#" anchors.
#include <QTextBrowser>

#include <functional>
#include <memory>
#include <string_view>

class QPagedPaintDevice;
class QPainter;

namespace brindle {

class TTextLines;

class THTMLViewer : public QTextBrowser {
    Q_OBJECT
public:
    using TPagePrinted =
        std::function<void(THTMLViewer* Sender, QPainter& Canvas, int NumPage, int W, int H, bool& StopPrinting)>;
    using THotSpotClick = std::function<void(THTMLViewer* Sender, const QString& SRC, bool& Handled)>;
    using THotSpotCovered = std::function<void(THTMLViewer* Sender, const QString& SRC)>;
    // Gives the image data of the message part with this Content-ID, or an empty string.
    using TInlineImageSource = std::function<std::string_view(const QString& contentId)>;

    // The message's inline images, decoded on first use; shared with the documents that
    // printing lays out.
    struct TImageCache;

    explicit THTMLViewer(QWidget* parent = nullptr);
    ~THTMLViewer() override;

    // Loads the document as HTML with an empty document reference.
    void LoadFromString(const QString& html);
    void SetInlineImageSource(TInlineImageSource source);

    // The title attribute of the element under the pointer, as of its last movement.
    QString TitleText() const { return titleText_; }

    // The link under the pointer changed (SRC empty when it left every link).
    THotSpotCovered OnHotSpotCovered;
    // A link was clicked; the control follows it only when the handler leaves Handled false.
    THotSpotClick OnHotSpotClick;
    // Raised for every printed page after its content is drawn.
    TPagePrinted OnPrintHeader;
    TPagePrinted OnPrintFooter;

    // Print settings: margins in centimetres from the paper's edges.
    double PrintMarginLeft = 2;
    double PrintMarginRight = 2;
    double PrintMarginTop = 2;
    double PrintMarginBottom = 2;
    double PrintScale = 1;
    bool PrintTableBackground = true;
    bool PrintBackground = false;

    // Lays the document out on pages and prints pages firstPage to lastPage (counted from 1;
    // the print ends with the document's last page). Returns the number of pages printed.
    int Print(QPagedPaintDevice& device, int firstPage, int lastPage);
    // Prints a plain text instead of the document, with the same margins, font, header and
    // footer, its rows wrapped at the content width. Lays out one row at a time, so that the
    // work grows with the pages up to lastPage and memory does not grow with the text.
    int PrintText(QPagedPaintDevice& device, const TTextLines& text, int firstPage, int lastPage);

    // Screen pixels per inch; a print unit is one screen pixel at the print scale.
    static double ScreenDpi();

    // What the control resolves for a resource reference; never touches files or the network.
    QVariant ResolveResource(int type, const QUrl& name) const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void ActivateLink(const QUrl& link);
    void FollowLink(const QString& target);
    void UpdateHotSpot(const QString& target, const QString& title);
    QString TitleAt(const QPoint& viewportPos) const;

    std::shared_ptr<TImageCache> images_;
    QString hotSpot_;
    QString titleText_;
};

}  // namespace brindle
