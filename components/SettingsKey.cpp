#include "components/SettingsKey.h"

#include <QStringList>

namespace brindle {
namespace {

#ifndef Q_OS_WIN
// Drops the leading "Software" part (in any letter case) and empty parts.
QStringList KeyParts(const QString& keyPath) {
    QStringList parts = keyPath.split(u'\\', Qt::SkipEmptyParts);
    if (!parts.isEmpty() && parts.front().compare(u"Software", Qt::CaseInsensitive) == 0) parts.removeFirst();
    return parts;
}
#endif

}  // namespace

std::unique_ptr<QSettings> OpenSettingsKey(const QString& keyPath) {
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\") + keyPath, QSettings::NativeFormat);
#else
    QStringList parts = KeyParts(keyPath);
    QString organisation = parts.isEmpty() ? QStringLiteral("Unknown") : parts.takeFirst();
    QString application = parts.isEmpty() ? QString() : parts.takeFirst();
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, organisation, application);
    if (!parts.isEmpty()) settings->beginGroup(parts.join(u'/'));
    return settings;
#endif
}

}  // namespace brindle
