#pragma once
// Per-user settings addressed by registry-style key paths such as
// "Software\Korvane\Brindle\1.x\Recent Files". On Windows the path is the key under
// HKEY_CURRENT_USER; elsewhere the two parts after "Software" name the organisation and the
// application of a QSettings file and the rest is a group inside it.
#include <QSettings>
#include <QString>

#include <memory>

namespace brindle {

// The settings object and the group of a key path; the group is entered already.
std::unique_ptr<QSettings> OpenSettingsKey(const QString& keyPath);

}  // namespace brindle
