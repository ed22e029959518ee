#pragma once
// Gather E-mail Addresses: the "NAME = ADDRESS" line of every sender and receiver, each
// present once under the user locale's comparison that ignores case, sorted by it.
#include "store/OEReader.h"

#include <QCollator>

#include <string>
#include <vector>

namespace brindle {

// Sorts the lines by collator (keys computed once per line) and keeps, of every group that
// compares equal, the line that came first.
void SortUniqueByCollator(std::vector<std::string>& lines, const QCollator& collator);

// The gathered list of a store under the user's locale.
std::vector<std::string> GatherAddressLines(TOEReader& reader, const std::string& codePage = {});

}  // namespace brindle
