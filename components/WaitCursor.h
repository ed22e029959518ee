#pragma once
// Shows the wait cursor for as long as the guard lives; the normal cursor comes back in
// every case, also when an exception leaves the guarded work.
#include <QApplication>
#include <QCursor>

namespace brindle {

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

}  // namespace brindle
