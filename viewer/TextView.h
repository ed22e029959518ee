#pragma once
// A read-only text control for texts of any size. The text stays in one piece (TTextLines);
// only the rows in view are laid out, each time they are painted, so that opening a text costs
// one pass over its bytes and memory grows with its bytes, not with its lines. Each row is
// shown as UTF-8 or, when it is not valid UTF-8, as Windows-1252. Rows are either cut at the
// right edge (scrolling sideways) or wrapped at the control's width.
//
// Scrolling keeps the top row and a pixel offset into it; the vertical scroll bar counts rows.
// The selection is a pair of byte offsets into the text; Ctrl+A selects all, Ctrl+C copies.
#include "viewer/TextLines.h"

#include <QAbstractScrollArea>

#include <memory>
#include <string>
#include <vector>

class QTextLayout;

namespace brindle {

class TTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Space between the viewport's left edge and the text.
    static constexpr int kTextMargin = 4;

    // A row in view: its place in the text and its top edge in viewport coordinates.
    struct TVisibleRow {
        TTextLines::TRow row;
        size_t index = 0;
        int top = 0;
        int height = 0;
    };

    explicit TTextView(QWidget* parent = nullptr);
    ~TTextView() override;

    // Shows the text, given as its bytes; the selection is cleared and the view goes to the top.
    void SetText(std::string text);
    // Shows a text whose index was built already (on any thread).
    void SetLines(std::shared_ptr<const TTextLines> lines);
    // Shows the text of the other control, sharing its bytes and index.
    void ShareText(const TTextView& other);
    const TTextLines& Lines() const { return *lines_; }

    void SetWordWrap(bool wrap);
    bool WordWrap() const { return wrap_; }
    bool isReadOnly() const { return true; }

    size_t LineCount() const { return lines_->LineCount(); }
    // A line as shown, in UTF-8 decoded rows.
    QString LineText(size_t line) const;
    // The whole text as shown, lines joined by LF.
    QString toPlainText() const;

    // The selection from anchor to position, byte offsets into the text.
    void SetSelection(size_t anchor, size_t position);
    void SelectAll();
    QString SelectedText() const;
    // Puts the selected text on the clipboard.
    void Copy() const;

    // Scrolls so that the line's first row is the top row (as far as the end of the text allows).
    void ScrollToLine(size_t line);
    std::vector<TVisibleRow> VisibleRows() const;
    // The byte offset of the character at the point of the viewport.
    size_t OffsetAt(QPoint viewportPos) const;

signals:
    // The rows in view changed: scrolled, resized or given another text.
    void ViewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::unique_ptr<QTextLayout> LayoutRow(const TTextLines::TRow& row) const;
    int LineSpacing() const;
    int RowHeight(const TTextLines::TRow& row) const;
    int TextWidth() const;
    void UpdateScrollRanges();
    void ScrollByPixels(int dy);
    void ScrollToRow(size_t row, int offset);
    void ClampTop();
    void SyncScrollBar();
    void TextChanged();

    std::shared_ptr<const TTextLines> lines_;
    bool wrap_ = false;
    size_t topRow_ = 0;
    int topOffset_ = 0;
    size_t endRow_ = 0;  // the furthest the top row can go
    int endOffset_ = 0;  // and the offset into it there
    bool syncing_ = false;
    size_t anchor_ = 0;
    size_t position_ = 0;
    bool selecting_ = false;
};

}  // namespace brindle
