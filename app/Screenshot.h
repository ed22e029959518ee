#pragma once
// The hidden start option "--screenshot OUT.png": once the window has opened its file, the
// first row is focused, the window is rendered to OUT.png and the program ends.
#include <QString>

namespace brindle {

class Twnd_oe_Main;

// Arranges the picture; the program ends with 0 when it was written, else 1.
void TakeScreenshotWhenReady(Twnd_oe_Main& window, const QString& fileName);

}  // namespace brindle
