#pragma once
// The process-wide stopwatch of timed operations: one start mark on a monotonic millisecond
// clock. Each timed step starts it anew, so timings never nest.
#include <QString>

namespace brindle {

void StartStopwatch();
// Whole milliseconds since the last StartStopwatch.
double ElapsedMilliseconds();
// "Elapsed time: %1.2f s" with the user's decimal separator.
QString ElapsedTimeText(double milliseconds);
QString ElapsedTimeText();

}  // namespace brindle
