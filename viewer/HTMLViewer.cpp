#include "viewer/HTMLViewer.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QImageReader>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextDocument>

#include <map>

namespace brindle {

// Inline images, decoded on first use. Shared with the copies of the document that printing
// makes, which resolve their images the same way.
struct THTMLViewer::TImageCache {
    TInlineImageSource source;
    std::map<QString, QImage> decoded;
};

namespace {

// Resources that are not resolved become this image, so that nothing behind the control
// tries to load them from elsewhere.
const QImage& BlockedImage() {
    static const QImage image = [] {
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }();
    return image;
}

bool IsInlineImageFormat(const QByteArray& format) {
    return format == "png" || format == "jpeg" || format == "jpg" || format == "gif";
}

QImage DecodeInlineImage(std::string_view bytes) {
    if (bytes.empty()) return {};
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer);
    if (!IsInlineImageFormat(reader.format())) return {};
    QImage image;
    if (!reader.read(&image)) return {};
    return image;
}

QImage InlineImage(THTMLViewer::TImageCache& cache, const QString& contentId) {
    auto found = cache.decoded.find(contentId);
    if (found == cache.decoded.end()) {
        QImage image = cache.source ? DecodeInlineImage(cache.source(contentId)) : QImage();
        found = cache.decoded.emplace(contentId, image.isNull() ? BlockedImage() : image).first;
    }
    return found->second;
}

QVariant Resolve(THTMLViewer::TImageCache& cache, int type, const QUrl& name) {
    if (type == QTextDocument::ImageResource) {
        if (name.scheme().compare(QLatin1String("cid"), Qt::CaseInsensitive) == 0)
            return InlineImage(cache, name.path(QUrl::FullyDecoded));
        return BlockedImage();
    }
    if (type == QTextDocument::StyleSheetResource) return QString();
    return QByteArray();
}

QFont DocumentFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                      QStringLiteral("DejaVu Serif"), QStringLiteral("serif")});
    font.setStyleHint(QFont::Serif);
    font.setPointSize(12);
    return font;
}

const char* const kDefaultStyleSheet =
    "pre, code, tt, kbd, samp { font-family: \"Courier New\", \"Liberation Mono\", \"DejaVu Sans Mono\", monospace; }";

}  // namespace

THTMLViewer::THTMLViewer(QWidget* parent) : QTextBrowser(parent), images_(std::make_shared<TImageCache>()) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextInteractionFlags(Qt::TextBrowserInteraction);
    setFont(DocumentFont());
    document()->setDefaultFont(DocumentFont());
    document()->setDefaultStyleSheet(QString::fromLatin1(kDefaultStyleSheet));
    document()->setResourceProvider(
        [images = images_](const QUrl& name) { return Resolve(*images, QTextDocument::ImageResource, name); });
    connect(this, &QTextBrowser::anchorClicked, this, &THTMLViewer::ActivateLink);
}

THTMLViewer::~THTMLViewer() = default;

void THTMLViewer::LoadFromString(const QString& html) {
    hotSpot_.clear();
    titleText_.clear();
    document()->setBaseUrl(QUrl());
    setHtml(html);
}

void THTMLViewer::SetInlineImageSource(TInlineImageSource source) {
    images_->source = std::move(source);
    images_->decoded.clear();
}

QVariant THTMLViewer::ResolveResource(int type, const QUrl& name) const { return Resolve(*images_, type, name); }

QVariant THTMLViewer::loadResource(int type, const QUrl& name) { return ResolveResource(type, name); }

void THTMLViewer::ActivateLink(const QUrl& link) {
    const QString target = link.toString();
    bool handled = false;
    if (OnHotSpotClick) OnHotSpotClick(this, target, handled);
    if (!handled) FollowLink(target);
}

void THTMLViewer::FollowLink(const QString& target) {
    if (target.startsWith(QLatin1Char('#'))) scrollToAnchor(target.mid(1));
}

QString THTMLViewer::TitleAt(const QPoint& viewportPos) const {
    const QPointF documentPos(viewportPos.x() + horizontalScrollBar()->value(),
                              viewportPos.y() + verticalScrollBar()->value());
    return document()->documentLayout()->formatAt(documentPos).toCharFormat().toolTip();
}

void THTMLViewer::UpdateHotSpot(const QString& target, const QString& title) {
    titleText_ = title;
    if (target == hotSpot_) return;
    hotSpot_ = target;
    if (OnHotSpotCovered) OnHotSpotCovered(this, target);
}

void THTMLViewer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    UpdateHotSpot(anchorAt(pos), TitleAt(pos));
    QTextBrowser::mouseMoveEvent(event);
}

bool THTMLViewer::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) UpdateHotSpot(QString(), QString());
    return QTextBrowser::viewportEvent(event);
}

}  // namespace brindle
