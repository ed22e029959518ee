#include "app/ListFilter.h"

namespace brindle {
namespace {

constexpr char16_t kKeySeparator = u'\n';

bool IsAscii(const QString& text) {
    for (QChar c : text)
        if (c.unicode() >= 0x80) return false;
    return true;
}

}  // namespace

QString FilterFolded(const QString& text) {
    if (IsAscii(text)) return text.toLower();
    QString decomposed = text.normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return decomposed.toCaseFolded();
}

QString FilterKey(const QString& senderName, const QString& senderAddress, const QString& subject) {
    QString key = FilterFolded(senderName);
    key += kKeySeparator;
    key += FilterFolded(senderAddress);
    key += kKeySeparator;
    key += FilterFolded(subject);
    return key;
}

}  // namespace brindle
