#pragma once
// The hidden start option "--screenshot OUT.png": once the window has opened its file, a row
// is focused, the window is rendered to OUT.png and the program ends. With it, "--row N"
// focuses row N instead of the first, "--reading-pane" turns the reading pane on first,
// "--filter TEXT" types TEXT into the filter box first, and "--find TEXT" renders the Find in
// Messages dialog after searching for TEXT instead of the window.
#include <QString>
#include <QStringList>

namespace brindle {

class Twnd_oe_Main;

struct TScreenshotOptions {
    QString FileName;  // empty: no picture
    QString Filter;
    QString Find;
    bool ReadingPane = false;
    int Row = 0;
};

// Takes the options out of the arguments (right after the program name, in any order).
TScreenshotOptions TakeScreenshotOptions(QStringList& arguments);

// Arranges the picture; the program ends with 0 when it was written, else 1.
void TakeScreenshotWhenReady(Twnd_oe_Main& window, const TScreenshotOptions& options);

}  // namespace brindle
