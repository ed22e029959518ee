#pragma once
// Text comparison by the user's locale, with sort keys computed once per text.
#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

namespace brindle {

// The user's locale collation: case counts when caseSensitive is true.
QCollator LocaleCollator(bool caseSensitive);

// A key whose comparison gives the collator's order. For the C locale the collator's own
// keys ignore its case setting; there the key is built from the case-folded text.
QCollatorSortKey LocaleSortKey(const QCollator& collator, const QString& text);

}  // namespace brindle
