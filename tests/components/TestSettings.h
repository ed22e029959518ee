#pragma once
// Points the per-user settings at a temporary folder for the whole test run, so that tests
// never read or write the real ones.
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace brindle::test {

class TTestSettings {
public:
    TTestSettings() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    }
    QString Path() const { return dir_.path(); }
    // Empties the settings file of the program.
    static void Clear() { QSettings(QStringLiteral("Korvane"), QStringLiteral("Brindle")).clear(); }

private:
    QTemporaryDir dir_;
};

}  // namespace brindle::test
