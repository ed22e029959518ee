#include "viewer/SynMemo.h"

#include "viewer/ViewerText.h"

#include <QPainter>
#include <QTextBlock>

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
    font.setFamilies({QStringLiteral("Terminal"), QStringLiteral("Liberation Mono"),
                      QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(8);
    return font;
}

}  // namespace

TSynMemo::TSynMemo(QWidget* parent)
    : QPlainTextEdit(parent), gutterColor_(160, 160, 164), gutterFont_(GutterNumberFont()) {
    setReadOnly(true);
    setFont(SourceFont());
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    gutter_ = new TGutter(this);
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { UpdateGutterWidth(); });
    connect(this, &QPlainTextEdit::updateRequest, this,
            [this](const QRect& rect, int dy) { UpdateGutter(rect, dy); });
    UpdateGutterWidth();
}

void TSynMemo::AppendLines(const TStringList& lines) {
    if (lines.empty()) return;
    const QString text = QString::fromUtf8(DisplayText(lines, "\n", false));
    if (document()->isEmpty())
        setPlainText(text);
    else
        appendPlainText(text);
}

int TSynMemo::Digits() const {
    int digits = 1;
    for (int last = std::max(0, blockCount() - 1); last >= 10; last /= 10) ++digits;
    return std::max(digits, kMinimumDigits);
}

QString TSynMemo::LineNumberText(int line) const {
    return QStringLiteral("%1").arg(line, Digits(), 10, QLatin1Char('0'));
}

int TSynMemo::GutterWidth() const {
    const QFontMetrics metrics(gutterFont_);
    return 2 * kGutterPadding + metrics.horizontalAdvance(QLatin1Char('0')) * Digits();
}

void TSynMemo::UpdateGutterWidth() { setViewportMargins(GutterWidth(), 0, 0, 0); }

void TSynMemo::UpdateGutter(const QRect& rect, int dy) {
    if (dy != 0)
        gutter_->scroll(0, dy);
    else
        gutter_->update(0, rect.y(), gutter_->width(), rect.height());
}

void TSynMemo::resizeEvent(QResizeEvent* event) {
    QPlainTextEdit::resizeEvent(event);
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
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
        if (box.top() > event->rect().bottom()) break;
        if (!block.isVisible() || box.bottom() < event->rect().top()) continue;
        painter.drawText(QRect(0, static_cast<int>(box.top()), textWidth, std::max(lineHeight, static_cast<int>(box.height()))),
                         Qt::AlignRight | Qt::AlignTop, LineNumberText(block.blockNumber()));
    }
}

}  // namespace brindle
