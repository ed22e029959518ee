#pragma once
// The source text control: read-only lines in a fixed-pitch font with a gutter of line
// numbers on the left, zero-padded to at least four digits, the first line numbered 0000.
#include "platform/StringList.h"

#include <QPlainTextEdit>

namespace brindle {

class TSynMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMinimumDigits = 4;

    explicit TSynMemo(QWidget* parent = nullptr);

    // Appends the lines, each shown as UTF-8 or, when it is not valid UTF-8, as Windows-1252.
    void AppendLines(const TStringList& lines);

    // The number of a line as the gutter shows it.
    QString LineNumberText(int line) const;
    int GutterWidth() const;
    QColor GutterColor() const { return gutterColor_; }
    QFont GutterFont() const { return gutterFont_; }

    // Paints the gutter; called by the gutter widget.
    void PaintGutter(QPaintEvent* event);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int Digits() const;
    void UpdateGutterWidth();
    void UpdateGutter(const QRect& rect, int dy);

    QWidget* gutter_;
    QColor gutterColor_;
    QFont gutterFont_;
};

}  // namespace brindle
