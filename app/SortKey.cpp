#include "app/SortKey.h"

namespace brindle {
namespace {

template <typename T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareSortKeys(const TSortKey& a, const TSortKey& b) {
    if (auto* ia = std::get_if<int64_t>(&a)) return Sign(*ia, std::get<int64_t>(b));
    if (auto* fa = std::get_if<double>(&a)) return Sign(*fa, std::get<double>(b));
    int c = std::get<QCollatorSortKey>(a).compare(std::get<QCollatorSortKey>(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace brindle
