#include "mailbox/AddressList.h"

#include "mailbox/CodePage.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"

namespace brindle {
std::string AddressLine(std::string_view name, std::string_view address, std::string_view codePage) {
    std::string line = SummaryToUtf8(name, codePage) + " = " + SummaryToUtf8(address, codePage);
    for (char& c : line) c = UpperAscii(c);
    return line;
}

std::vector<std::string> CollectAddressLines(TOEReader& reader, std::string_view codePage) {
    std::vector<std::string> lines;
    int32_t count = reader.GetMessageCount();
    lines.reserve(count > 0 ? static_cast<size_t>(count) * 2 : 0);
    for (int32_t i = 0; i < count; ++i) {
        TMessageInfo info = reader.GetMessageInfo(i);
        lines.push_back(AddressLine(info.SenderName, info.SenderAddress, codePage));
        lines.push_back(AddressLine(info.ReceiverName, info.ReceiverAddress, codePage));
    }
    return lines;
}

std::vector<std::string> GatherAddresses(TOEReader& reader, std::string_view codePage) {
    std::vector<std::string> lines = CollectAddressLines(reader, codePage);
    SortUniqueLines(lines, [](const std::string& a, const std::string& b) { return a.compare(b); });
    return lines;
}

}  // namespace brindle
