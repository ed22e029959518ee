#include "app/Stopwatch.h"

#include <QLocale>

#include <chrono>
#include <cstdint>

namespace brindle {
namespace {

int64_t TickCount() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t& StartMark() {
    static int64_t mark = TickCount();
    return mark;
}

}  // namespace

void StartStopwatch() { StartMark() = TickCount(); }

double ElapsedMilliseconds() { return static_cast<double>(TickCount() - StartMark()); }

QString ElapsedTimeText(double milliseconds) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return QStringLiteral("Elapsed time: %1 s").arg(locale.toString(milliseconds / 1000.0, 'f', 2));
}

QString ElapsedTimeText() { return ElapsedTimeText(ElapsedMilliseconds()); }

}  // namespace brindle
