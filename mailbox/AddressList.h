#pragma once
// Gathering the sender and receiver addresses of every message of a store into one sorted
// list in which every entry stands once.
#include "store/OEReader.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// "%s = %s" of a name and an address, each taken as UTF-8 (else read in the code page, a
// label; Windows-1252 when it is empty), with the ASCII letters upper-cased.
std::string AddressLine(std::string_view name, std::string_view address, std::string_view codePage = {});

// For every message in order: the line of its sender, then the line of its receiver.
std::vector<std::string> CollectAddressLines(TOEReader& reader, std::string_view codePage = {});

// Sorts the lines by compare (negative, zero or positive, as for strcmp) and keeps one line of
// each group that compares equal: the one collected first.
template <typename Compare>
void SortUniqueLines(std::vector<std::string>& lines, Compare compare) {
    std::stable_sort(lines.begin(), lines.end(),
                     [&](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
    lines.erase(std::unique(lines.begin(), lines.end(),
                            [&](const std::string& a, const std::string& b) { return compare(a, b) == 0; }),
                lines.end());
}

// The gathered list with a byte-wise comparison of the upper-cased lines.
std::vector<std::string> GatherAddresses(TOEReader& reader, std::string_view codePage = {});

}  // namespace brindle
