#include "app/AddressGathering.h"

#include "app/Collation.h"
#include "mailbox/AddressList.h"

#include <QCollatorSortKey>

#include <algorithm>
#include <numeric>

namespace brindle {

void SortUniqueByCollator(std::vector<std::string>& lines, const QCollator& collator) {
    std::vector<QCollatorSortKey> keys;
    keys.reserve(lines.size());
    for (const std::string& line : lines) keys.push_back(LocaleSortKey(collator, QString::fromStdString(line)));

    std::vector<size_t> order(lines.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
    order.erase(
        std::unique(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a].compare(keys[b]) == 0; }),
        order.end());

    std::vector<std::string> unique;
    unique.reserve(order.size());
    for (size_t i : order) unique.push_back(std::move(lines[i]));
    lines = std::move(unique);
}

std::vector<std::string> GatherAddressLines(TOEReader& reader, const std::string& codePage) {
    std::vector<std::string> lines = CollectAddressLines(reader, codePage);
    SortUniqueByCollator(lines, LocaleCollator(false));
    return lines;
}

}  // namespace brindle
