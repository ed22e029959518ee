#pragma once
// Sort keys of the message list: an integer, a floating-point number or a text (held as
// its locale sort key). The two keys of one comparison are always of the same kind.
#include <QCollatorSortKey>

#include <cstdint>
#include <variant>

namespace brindle {

using TSortKey = std::variant<int64_t, double, QCollatorSortKey>;

// -1, 0 or 1 as a sorts before, with or after b.
int CompareSortKeys(const TSortKey& a, const TSortKey& b);

}  // namespace brindle
