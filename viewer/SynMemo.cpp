#include "viewer/SynMemo.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace brindle {
namespace {

constexpr int kGutterPadding = 4;

class TGutter : public QWidget {
public:
    explicit TGutter(TSynMemo* memo) : QWidget(memo), memo_(memo) {}
    QSize sizeHint() const override { return {memo_->GutterWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent* event) override { memo_->PaintGutter(event); }

private:
    TSynMemo* memo_;
};

QFont SourceFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    return font;
}

QFont GutterNumberFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Terminal"), QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(8);
    return font;
}

}  // namespace

TSynMemo::TSynMemo(QWidget* parent) : TTextView(parent), gutterColor_(160, 160, 164), gutterFont_(GutterNumberFont()) {
    setFont(SourceFont());
    SetWordWrap(false);
    gutter_ = new TGutter(this);
    connect(this, &TTextView::ViewChanged, this, [this] { UpdateGutter(); });
    UpdateGutter();
}

int TSynMemo::Digits() const {
    int digits = 1;
    for (size_t last = LineCount() > 0 ? LineCount() - 1 : 0; last >= 10; last /= 10) ++digits;
    return std::max(digits, kMinimumDigits);
}

QString TSynMemo::LineNumberText(size_t line) const {
    return QStringLiteral("%1").arg(static_cast<qulonglong>(line), Digits(), 10, QLatin1Char('0'));
}

int TSynMemo::GutterWidth() const {
    const QFontMetrics metrics(gutterFont_);
    return 2 * kGutterPadding + metrics.horizontalAdvance(QLatin1Char('0')) * Digits();
}

void TSynMemo::UpdateGutter() {
    if (viewportMargins().left() != GutterWidth()) {
        setViewportMargins(GutterWidth(), 0, 0, 0);
        const QRect area = contentsRect();
        gutter_->setGeometry(QRect(area.left(), area.top(), GutterWidth(), area.height()));
    }
    gutter_->update();
}

void TSynMemo::resizeEvent(QResizeEvent* event) {
    TTextView::resizeEvent(event);
    const QRect area = contentsRect();
    gutter_->setGeometry(QRect(area.left(), area.top(), GutterWidth(), area.height()));
}

void TSynMemo::PaintGutter(QPaintEvent* event) {
    QPainter painter(gutter_);
    painter.fillRect(event->rect(), gutterColor_);
    painter.setFont(gutterFont_);
    painter.setPen(Qt::black);
    const int textWidth = gutter_->width() - kGutterPadding;
    const int lineHeight = QFontMetrics(gutterFont_).height();
    for (const TVisibleRow& visible : VisibleRows()) {
        if (visible.row.continuation) continue;
        if (visible.top > event->rect().bottom() || visible.top + visible.height < event->rect().top()) continue;
        painter.drawText(QRect(0, visible.top, textWidth, std::max(lineHeight, visible.height)),
                         Qt::AlignRight | Qt::AlignTop, LineNumberText(visible.row.line));
    }
}

}  // namespace brindle
