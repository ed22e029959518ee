#include "mailbox/AddressList.h"

#include "platform/TextRules.h"
#include "platform/Utf8.h"

namespace brindle {
std::string AddressLine(std::string_view name, std::string_view address) {
    std::string line = Utf8OrCp1252(name) + " = " + Utf8OrCp1252(address);
    for (char& c : line) c = UpperAscii(c);
    return line;
}

std::vector<std::string> CollectAddressLines(TOEReader& reader) {
    std::vector<std::string> lines;
    int32_t count = reader.GetMessageCount();
    lines.reserve(count > 0 ? static_cast<size_t>(count) * 2 : 0);
    for (int32_t i = 0; i < count; ++i) {
        TMessageInfo info = reader.GetMessageInfo(i);
        lines.push_back(AddressLine(info.SenderName, info.SenderAddress));
        lines.push_back(AddressLine(info.ReceiverName, info.ReceiverAddress));
    }
    return lines;
}

std::vector<std::string> GatherAddresses(TOEReader& reader) {
    std::vector<std::string> lines = CollectAddressLines(reader);
    SortUniqueLines(lines, [](const std::string& a, const std::string& b) { return a.compare(b); });
    return lines;
}

}  // namespace brindle
