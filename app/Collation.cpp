#include "app/Collation.h"

#include <QLocale>

namespace brindle {

QCollator LocaleCollator(bool caseSensitive) {
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
    return collator;
}

QCollatorSortKey LocaleSortKey(const QCollator& collator, const QString& text) {
    bool plainOrder = collator.locale().language() == QLocale::C;
    if (plainOrder && collator.caseSensitivity() == Qt::CaseInsensitive) return collator.sortKey(text.toCaseFolded());
    return collator.sortKey(text);
}

}  // namespace brindle
