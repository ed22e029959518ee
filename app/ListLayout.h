#pragma once
// What the main window keeps of its list and panes between runs, under 1.x/List in the
// per-user settings: column widths, the sort column and order, the splitter's sizes and
// whether the reading pane is on.
#include <QList>

namespace brindle {

struct TListLayout {
    QList<int> ColumnWidths;  // empty when none were kept
    QList<int> UserSized;     // the columns whose width the user set
    int SortColumn = -1;      // -1 for summary order
    bool Descending = false;
    QList<int> SplitterSizes;  // empty when none were kept
    bool ReadingPane = false;
};

TListLayout ReadListLayout();
void WriteListLayout(const TListLayout& layout);

}  // namespace brindle
