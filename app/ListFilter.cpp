#include "app/ListFilter.h"

#include <algorithm>

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

void TFilterKeys::Clear() {
    text_ = QString();
    starts_.clear();
    starts_.shrink_to_fit();
}

// Keys are kept apart by the separator, which no filter text holds.
void TFilterKeys::Add(const QString& key) {
    starts_.push_back(text_.size());
    text_ += key;
    text_ += kKeySeparator;
}

void TFilterKeys::Mark(const QStringMatcher& matcher, std::vector<uint8_t>& shown) const {
    shown.assign(starts_.size(), 0);
    qsizetype from = 0;
    while (true) {
        const qsizetype at = matcher.indexIn(text_, from);
        if (at < 0) break;
        const size_t key =
            static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), at) - starts_.begin()) - 1;
        shown[key] = 1;
        if (key + 1 >= starts_.size()) break;
        from = starts_[key + 1];
    }
}

}  // namespace brindle
