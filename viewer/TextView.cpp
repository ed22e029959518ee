#include "viewer/TextView.h"

#include "viewer/ViewerText.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>
#include <climits>

namespace brindle {
namespace {

constexpr int kWheelLines = 3;
constexpr int kDegreesPerNotch = 120;

std::string_view RowBytes(const TTextLines& lines, const TTextLines::TRow& row) {
    return lines.Bytes().substr(row.begin, row.end - row.begin);
}

}  // namespace

TTextView::TTextView(QWidget* parent) : QAbstractScrollArea(parent), lines_(std::make_shared<TTextLines>()) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    UpdateScrollRanges();
}

TTextView::~TTextView() = default;

void TTextView::SetText(std::string text) {
    lines_ = std::make_shared<const TTextLines>(std::move(text));
    TextChanged();
}

void TTextView::SetLines(std::shared_ptr<const TTextLines> lines) {
    lines_ = lines ? std::move(lines) : std::make_shared<const TTextLines>();
    TextChanged();
}

void TTextView::ShareText(const TTextView& other) {
    lines_ = other.lines_;
    TextChanged();
}

void TTextView::TextChanged() {
    anchor_ = position_ = 0;
    topRow_ = 0;
    topOffset_ = 0;
    UpdateScrollRanges();
    SyncScrollBar();
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    emit ViewChanged();
}

void TTextView::SetWordWrap(bool wrap) {
    if (wrap_ == wrap) return;
    wrap_ = wrap;
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    topOffset_ = 0;
    UpdateScrollRanges();
    viewport()->update();
    emit ViewChanged();
}

QString TTextView::LineText(size_t line) const {
    if (line >= lines_->LineCount()) return {};
    size_t index = lines_->FirstRowOfLine(line);
    TTextLines::TRow row = lines_->Row(index);
    const size_t begin = row.begin;
    while (row.end == row.next && ++index < lines_->RowCount()) row = lines_->NextRow(row);
    return QString::fromStdString(lines_->ShownText(begin, row.end));
}

QString TTextView::toPlainText() const {
    std::string text = lines_->ShownText(0, lines_->Bytes().size());
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return QString::fromStdString(text);
}

void TTextView::SetSelection(size_t anchor, size_t position) {
    const size_t size = lines_->Bytes().size();
    anchor_ = std::min(anchor, size);
    position_ = std::min(position, size);
    viewport()->update();
}

// Like toPlainText, all of the text without the line end that ends the last line.
void TTextView::SelectAll() {
    const size_t rows = lines_->RowCount();
    SetSelection(0, rows == 0 ? 0 : lines_->Row(rows - 1).end);
}

QString TTextView::SelectedText() const {
    return QString::fromStdString(lines_->ShownText(std::min(anchor_, position_), std::max(anchor_, position_)));
}

void TTextView::Copy() const {
    if (anchor_ == position_) return;
    QGuiApplication::clipboard()->setText(SelectedText());
}

int TTextView::LineSpacing() const { return std::max(1, fontMetrics().lineSpacing()); }

int TTextView::TextWidth() const { return std::max(1, viewport()->width() - 2 * kTextMargin); }

std::unique_ptr<QTextLayout> TTextView::LayoutRow(const TTextLines::TRow& row) const {
    const std::string_view bytes = RowBytes(*lines_, row);
    auto layout = std::make_unique<QTextLayout>(QString::fromStdString(ShownRow(bytes)), font());
    QTextOption option;
    if (!wrap_)
        option.setWrapMode(QTextOption::NoWrap);
    else
        option.setWrapMode(HasLongUnbrokenRun(bytes) ? QTextOption::WrapAnywhere
                                                     : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const int spacing = LineSpacing();
    const int width = wrap_ ? TextWidth() : INT_MAX / 4;
    int y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += spacing;
    }
    layout->endLayout();
    return layout;
}

int TTextView::RowHeight(const TTextLines::TRow& row) const {
    if (!wrap_) return LineSpacing();
    return std::max(1, LayoutRow(row)->lineCount()) * LineSpacing();
}

std::vector<TTextView::TVisibleRow> TTextView::VisibleRows() const {
    std::vector<TVisibleRow> rows;
    const size_t count = lines_->RowCount();
    if (topRow_ >= count) return rows;
    int top = -topOffset_;
    TTextLines::TRow row = lines_->Row(topRow_);
    for (size_t index = topRow_; index < count && top < viewport()->height(); ++index) {
        if (index > topRow_) row = lines_->NextRow(row);
        const int height = RowHeight(row);
        rows.push_back({row, index, top, height});
        top += height;
    }
    return rows;
}

// The end position is the top row and offset from which the rest of the text just fills the
// viewport: found by adding up the heights of the last rows.
void TTextView::UpdateScrollRanges() {
    const size_t count = lines_->RowCount();
    endRow_ = 0;
    endOffset_ = 0;
    int remaining = viewport()->height();
    for (size_t index = count; index > 0; --index) {
        const int height = RowHeight(lines_->Row(index - 1));
        if (height >= remaining) {
            endRow_ = index - 1;
            endOffset_ = height - remaining;
            break;
        }
        remaining -= height;
    }
    syncing_ = true;
    verticalScrollBar()->setRange(0, static_cast<int>(std::min<size_t>(endRow_, INT_MAX)));
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height() / LineSpacing()));
    const qint64 longest =
        static_cast<qint64>(lines_->LongestRowBytes()) * fontMetrics().horizontalAdvance(QLatin1Char('M'));
    horizontalScrollBar()->setRange(0, wrap_ ? 0
                                             : static_cast<int>(std::clamp<qint64>(
                                                   longest + 2 * kTextMargin - viewport()->width(), 0, INT_MAX / 2)));
    horizontalScrollBar()->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('M')));
    horizontalScrollBar()->setPageStep(viewport()->width());
    syncing_ = false;
    ClampTop();
}

void TTextView::ClampTop() {
    if (topRow_ > endRow_ || (topRow_ == endRow_ && topOffset_ > endOffset_)) {
        topRow_ = endRow_;
        topOffset_ = endOffset_;
    }
    SyncScrollBar();
}

void TTextView::SyncScrollBar() {
    syncing_ = true;
    verticalScrollBar()->setValue(static_cast<int>(std::min<size_t>(topRow_, INT_MAX)));
    syncing_ = false;
}

void TTextView::ScrollToRow(size_t row, int offset) {
    topRow_ = row;
    topOffset_ = offset;
    ClampTop();
    viewport()->update();
    emit ViewChanged();
}

void TTextView::ScrollToLine(size_t line) { ScrollToRow(lines_->FirstRowOfLine(line), 0); }

void TTextView::ScrollByPixels(int dy) {
    if (lines_->RowCount() == 0) return;
    size_t row = topRow_;
    int offset = topOffset_ + dy;
    while (offset < 0 && row > 0) offset += RowHeight(lines_->Row(--row));
    offset = std::max(offset, 0);
    for (int height = RowHeight(lines_->Row(row)); offset >= height && row < endRow_;
         height = RowHeight(lines_->Row(row))) {
        offset -= height;
        ++row;
    }
    ScrollToRow(row, offset);
}

void TTextView::scrollContentsBy(int dx, int dy) {
    (void)dx, (void)dy;
    if (!syncing_ && static_cast<size_t>(verticalScrollBar()->value()) != topRow_) {
        topRow_ = static_cast<size_t>(verticalScrollBar()->value());
        topOffset_ = 0;
        ClampTop();
    }
    viewport()->update();
    emit ViewChanged();
}

// A new width wraps the rows anew, so an offset into the top row no longer means the same place.
void TTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (wrap_) topOffset_ = 0;
    UpdateScrollRanges();
    emit ViewChanged();
}

void TTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateScrollRanges();
        emit ViewChanged();
    }
}

void TTextView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const size_t selectionStart = std::min(anchor_, position_);
    const size_t selectionEnd = std::max(anchor_, position_);
    const int x = kTextMargin - horizontalScrollBar()->value();
    for (const TVisibleRow& visible : VisibleRows()) {
        if (visible.top + visible.height < event->rect().top() || visible.top > event->rect().bottom()) continue;
        const std::unique_ptr<QTextLayout> layout = LayoutRow(visible.row);
        QList<QTextLayout::FormatRange> selections;
        const size_t from = std::max(selectionStart, visible.row.begin);
        const size_t to = std::min(selectionEnd, visible.row.end);
        if (from < to) {
            const std::string_view bytes = RowBytes(*lines_, visible.row);
            QTextLayout::FormatRange range;
            range.start = static_cast<int>(ShownPosition(bytes, from - visible.row.begin));
            range.length = static_cast<int>(ShownPosition(bytes, to - visible.row.begin)) - range.start;
            range.format.setBackground(palette().brush(QPalette::Highlight));
            range.format.setForeground(palette().brush(QPalette::HighlightedText));
            selections.append(range);
        }
        layout->draw(&painter, QPointF(x, visible.top), selections);
    }
}

size_t TTextView::OffsetAt(QPoint viewportPos) const {
    const std::vector<TVisibleRow> rows = VisibleRows();
    if (rows.empty()) return 0;
    if (viewportPos.y() < rows.front().top) return rows.front().row.begin;
    for (const TVisibleRow& visible : rows) {
        if (viewportPos.y() >= visible.top + visible.height) continue;
        const std::unique_ptr<QTextLayout> layout = LayoutRow(visible.row);
        const int lineIndex = std::clamp((viewportPos.y() - visible.top) / LineSpacing(), 0, layout->lineCount() - 1);
        const QTextLine line = layout->lineAt(lineIndex);
        const int x = viewportPos.x() - kTextMargin + horizontalScrollBar()->value();
        const int position = line.xToCursor(x, QTextLine::CursorBetweenCharacters);
        return visible.row.begin +
               ByteOffset(RowBytes(*lines_, visible.row), static_cast<size_t>(std::max(position, 0)));
    }
    return rows.back().row.end;
}

void TTextView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
    } else if (event->matches(QKeySequence::Copy)) {
        Copy();
    } else if (event->key() == Qt::Key_Down) {
        ScrollByPixels(LineSpacing());
    } else if (event->key() == Qt::Key_Up) {
        ScrollByPixels(-LineSpacing());
    } else if (event->key() == Qt::Key_PageDown) {
        ScrollByPixels(std::max(LineSpacing(), viewport()->height() - LineSpacing()));
    } else if (event->key() == Qt::Key_PageUp) {
        ScrollByPixels(-std::max(LineSpacing(), viewport()->height() - LineSpacing()));
    } else if (event->key() == Qt::Key_Home && (event->modifiers() & Qt::ControlModifier)) {
        ScrollToRow(0, 0);
    } else if (event->key() == Qt::Key_End && (event->modifiers() & Qt::ControlModifier)) {
        ScrollToRow(endRow_, endOffset_);
    } else if (event->key() == Qt::Key_Left) {
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (event->key() == Qt::Key_Right) {
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TTextView::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ShiftModifier || event->angleDelta().x() != 0) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    const int pixels = event->pixelDelta().y() != 0
                           ? event->pixelDelta().y()
                           : event->angleDelta().y() * kWheelLines * LineSpacing() / kDegreesPerNotch;
    ScrollByPixels(-pixels);
    event->accept();
}

void TTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const size_t offset = OffsetAt(event->position().toPoint());
    SetSelection((event->modifiers() & Qt::ShiftModifier) ? anchor_ : offset, offset);
    selecting_ = true;
}

void TTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_) return;
    const QPoint pos = event->position().toPoint();
    if (pos.y() < 0)
        ScrollByPixels(-LineSpacing());
    else if (pos.y() >= viewport()->height())
        ScrollByPixels(LineSpacing());
    SetSelection(anchor_, OffsetAt(pos));
}

void TTextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !selecting_) return;
    selecting_ = false;
    SetSelection(anchor_, OffsetAt(event->position().toPoint()));
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (anchor_ != position_ && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void TTextView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), QKeySequence::Copy, this, [this] { Copy(); });
    copy->setEnabled(anchor_ != position_);
    menu.addAction(tr("Select All"), QKeySequence::SelectAll, this, [this] { SelectAll(); });
    menu.exec(event->globalPos());
}

}  // namespace brindle
