#pragma once
// The hidden start options "--screenshot OUT.png [--reading-pane] [--row N]": once the window
// has opened its file, row N (the first by default) is focused, the window is rendered to
// OUT.png and the program ends. --reading-pane turns the reading pane on first.
#include <QString>
#include <QStringList>

namespace brindle {

class Twnd_oe_Main;

struct TScreenshot {
    QString FileName;  // empty when no picture is asked for
    bool ReadingPane = false;
    int Row = 0;
};

// Takes the screenshot options out of the arguments (after the program's name); others stay.
TScreenshot TakeScreenshotOptions(QStringList& arguments);

// Arranges the picture; the program ends with 0 when it was written, else 1.
void TakeScreenshotWhenReady(Twnd_oe_Main& window, const TScreenshot& shot);

}  // namespace brindle
