#pragma once
// The source text control: read-only lines in a fixed-pitch font with a gutter of line
// numbers on the left, zero-padded to at least four digits, the first line numbered 0000.
// Rows that continue a long line carry no number.
#include "viewer/TextView.h"

namespace brindle {

class TSynMemo : public TTextView {
    Q_OBJECT
public:
    static constexpr int kMinimumDigits = 4;

    explicit TSynMemo(QWidget* parent = nullptr);

    // The number of a line as the gutter shows it.
    QString LineNumberText(size_t line) const;
    int GutterWidth() const;
    QColor GutterColor() const { return gutterColor_; }
    QFont GutterFont() const { return gutterFont_; }

    // Paints the gutter; called by the gutter widget.
    void PaintGutter(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int Digits() const;
    void UpdateGutter();

    QWidget* gutter_;
    QColor gutterColor_;
    QFont gutterFont_;
};

}  // namespace brindle
