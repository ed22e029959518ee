// Printing of the HTML view: the document is laid out again on the page's content area and
// drawn page by page, each page clipped to that area, followed by the header and footer.
//
// Units: one unit is one screen pixel at the print scale, 1/(screen dpi x PrintScale) inch.
// The drawing origin is the top-left corner of the sheet's printable area.
#include "viewer/HTMLViewer.h"

#include "platform/Exceptions.h"
#include "viewer/TextLines.h"
#include "viewer/ViewerText.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QScreen>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <memory>

namespace brindle {
namespace {

constexpr double kCentimetresPerInch = 2.54;

struct TPageGeometry {
    double deviceX = 1;  // device pixels per unit, horizontally
    double deviceY = 1;  // and vertically
    double printableWidth = 0;
    double printableHeight = 0;
    QRectF content;  // the content area, relative to the printable area's corner
};

// Makes the printable area the page rectangle, so that the painter's origin is its corner.
void UseWholePrintableArea(QPagedPaintDevice& device) {
    const QPageLayout layout = device.pageLayout();
    device.setPageMargins(layout.minimumMargins(), layout.units());
}

TPageGeometry MeasurePage(const QPagedPaintDevice& device, const THTMLViewer& viewer) {
    constexpr double kPointsPerInch = 72;
    const QPageLayout layout = device.pageLayout();
    const double unitsPerInch = THTMLViewer::ScreenDpi() * viewer.PrintScale;
    const double unitsPerPoint = unitsPerInch / kPointsPerInch;
    const double unitsPerCm = unitsPerInch / kCentimetresPerInch;
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    const QRectF printable = layout.paintRect(QPageLayout::Point);

    TPageGeometry page;
    page.deviceX = device.logicalDpiX() / unitsPerInch;
    page.deviceY = device.logicalDpiY() / unitsPerInch;
    page.printableWidth = printable.width() * unitsPerPoint;
    page.printableHeight = printable.height() * unitsPerPoint;
    page.content =
        QRectF(viewer.PrintMarginLeft * unitsPerCm - printable.left() * unitsPerPoint,
               viewer.PrintMarginTop * unitsPerCm - printable.top() * unitsPerPoint,
               paper.width() * unitsPerPoint - (viewer.PrintMarginLeft + viewer.PrintMarginRight) * unitsPerCm,
               paper.height() * unitsPerPoint - (viewer.PrintMarginTop + viewer.PrintMarginBottom) * unitsPerCm);
    return page;
}

void ClearTableBackgrounds(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            QTextTableFormat format = table->format();
            format.clearBackground();
            table->setFormat(format);
            for (int row = 0; row < table->rows(); ++row) {
                for (int column = 0; column < table->columns(); ++column) {
                    QTextTableCell cell = table->cellAt(row, column);
                    QTextCharFormat cellFormat = cell.format();
                    cellFormat.clearBackground();
                    cell.setFormat(cellFormat);
                }
            }
        }
        ClearTableBackgrounds(child);
    }
}

// The copy's parent must be the viewer: a document asks its parent for every resource, and
// one without such a parent reads images named by a path from the file system itself.
std::unique_ptr<QTextDocument> PrintDocument(THTMLViewer& viewer, const QSizeF& pageSize) {
    std::unique_ptr<QTextDocument> document(viewer.document()->clone(&viewer));
    if (!viewer.PrintBackground) {
        QTextFrameFormat root = document->rootFrame()->frameFormat();
        root.clearBackground();
        document->rootFrame()->setFrameFormat(root);
    }
    if (!viewer.PrintTableBackground) ClearTableBackgrounds(document->rootFrame());
    document->setPageSize(pageSize);
    return document;
}

void DrawPageContent(QPainter& painter, QTextDocument& document, const TPageGeometry& page, int pageIndex) {
    painter.save();
    painter.scale(page.deviceX, page.deviceY);
    painter.translate(page.content.topLeft());
    const QRectF visible(0, pageIndex * page.content.height(), page.content.width(), page.content.height());
    painter.setClipRect(QRectF(QPointF(0, 0), visible.size()));
    painter.translate(0, -visible.top());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = visible;
    context.palette.setColor(QPalette::Text, Qt::black);
    document.documentLayout()->draw(&painter, context);
    painter.restore();
}

// Raises one of the page events with the origin at (0, originY) and the drawing state
// restored afterwards.
void RaisePageEvent(THTMLViewer& viewer, const THTMLViewer::TPagePrinted& handler, QPainter& painter,
                    const TPageGeometry& page, double originY, int numPage, int height, bool& stop) {
    if (!handler) return;
    painter.save();
    painter.scale(page.deviceX, page.deviceY);
    painter.translate(0, originY);
    handler(&viewer, painter, numPage, qRound(page.printableWidth), height, stop);
    painter.restore();
}

TPageGeometry CheckedPage(QPagedPaintDevice& device, const THTMLViewer& viewer) {
    UseWholePrintableArea(device);
    const TPageGeometry page = MeasurePage(device, viewer);
    if (page.content.width() < 1 || page.content.height() < 1)
        throw Exception("The paper is too small for the print margins");
    return page;
}

// Pages of a plain text: begins the painter with the first page that is printed, raises the
// page events for every printed page and counts them.
class TTextPages {
public:
    TTextPages(THTMLViewer& viewer, QPagedPaintDevice& device, const TPageGeometry& page, int first, int last)
        : viewer_(viewer), device_(device), page_(page), first_(std::max(first, 1)), last_(last) {}

    bool Printing() const { return numPage_ >= first_ && numPage_ <= last_; }
    bool Done() const { return numPage_ > last_ || stop_; }
    QPainter& Painter() { return painter_; }

    void StartPage() {
        if (!Printing()) return;
        if (printed_ == 0) {
            if (!painter_.begin(&device_)) throw Exception("Printing could not be started");
        } else if (!device_.newPage()) {
            throw Exception("Printing failed");
        }
        ++printed_;
    }

    void FinishPage() {
        if (Printing()) {
            RaisePageEvent(viewer_, viewer_.OnPrintHeader, painter_, page_, 0, numPage_, qRound(page_.content.top()),
                           stop_);
            RaisePageEvent(viewer_, viewer_.OnPrintFooter, painter_, page_, page_.content.bottom(), numPage_,
                           qRound(page_.printableHeight - page_.content.bottom()), stop_);
        }
        ++numPage_;
    }

    int End() {
        if (painter_.isActive()) painter_.end();
        return printed_;
    }

private:
    THTMLViewer& viewer_;
    QPagedPaintDevice& device_;
    const TPageGeometry& page_;
    const int first_;
    const int last_;
    QPainter painter_;
    int numPage_ = 1;
    int printed_ = 0;
    bool stop_ = false;
};

void LayOutRow(QTextLayout& layout, const std::string& shown, bool longRun, double width) {
    layout.setText(QString::fromStdString(shown));
    QTextOption option;
    option.setWrapMode(longRun ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
}

}  // namespace

double THTMLViewer::ScreenDpi() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return qRound(screen->logicalDotsPerInchY());
    return 96;
}

int THTMLViewer::Print(QPagedPaintDevice& device, int firstPage, int lastPage) {
    const TPageGeometry page = CheckedPage(device, *this);
    std::unique_ptr<QTextDocument> document = PrintDocument(*this, page.content.size());
    const int last = std::min(lastPage, document->pageCount());
    const int first = std::max(firstPage, 1);
    if (first > last) return 0;

    QPainter painter;
    if (!painter.begin(&device)) throw Exception("Printing could not be started");
    const int headerHeight = qRound(page.content.top());
    const double contentBottom = page.content.bottom();
    const int footerHeight = qRound(page.printableHeight - contentBottom);
    int printed = 0;
    bool stop = false;
    for (int numPage = first; numPage <= last && !stop; ++numPage) {
        if (printed > 0 && !device.newPage()) throw Exception("Printing failed");
        DrawPageContent(painter, *document, page, numPage - 1);
        RaisePageEvent(*this, OnPrintHeader, painter, page, 0, numPage, headerHeight, stop);
        RaisePageEvent(*this, OnPrintFooter, painter, page, contentBottom, numPage, footerHeight, stop);
        ++printed;
    }
    painter.end();
    return printed;
}

}  // namespace brindle

namespace brindle {

int THTMLViewer::PrintText(QPagedPaintDevice& device, const TTextLines& text, int firstPage, int lastPage) {
    const TPageGeometry page = CheckedPage(device, *this);
    const QFont font = document()->defaultFont();
    const double spacing = QFontMetricsF(font).lineSpacing();
    const int linesPerPage = std::max(1, static_cast<int>(page.content.height() / spacing));
    TTextPages pages(*this, device, page, firstPage, lastPage);
    QTextLayout layout(QString(), font);
    int lineOnPage = 0;
    pages.StartPage();
    TTextLines::TRow row;
    for (size_t index = 0; index < text.RowCount() && !pages.Done(); ++index) {
        row = index == 0 ? text.Row(0) : text.NextRow(row);
        const std::string_view bytes = text.Bytes().substr(row.begin, row.end - row.begin);
        LayOutRow(layout, ShownRow(bytes), HasLongUnbrokenRun(bytes), page.content.width());
        for (int i = 0; i < layout.lineCount() && !pages.Done(); ++i) {
            if (lineOnPage == linesPerPage) {
                pages.FinishPage();
                if (pages.Done()) break;
                pages.StartPage();
                lineOnPage = 0;
            }
            if (pages.Printing()) {
                QPainter& painter = pages.Painter();
                painter.save();
                painter.scale(page.deviceX, page.deviceY);
                painter.translate(page.content.topLeft());
                painter.setPen(Qt::black);
                layout.lineAt(i).draw(&painter, QPointF(0, lineOnPage * spacing));
                painter.restore();
            }
            ++lineOnPage;
        }
    }
    if (!pages.Done()) pages.FinishPage();
    return pages.End();
}

}  // namespace brindle
