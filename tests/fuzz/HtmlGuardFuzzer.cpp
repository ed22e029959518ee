// Guards any bytes as the HTML of a message: the result keeps within the limits, its end tags
// match its start tags, guarding it again changes nothing, and no "<" stands outside a tag.
#include "viewer/HtmlGuard.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool IsTablePart(const std::string& name) { return name == "table" || name == "tr" || name == "td" || name == "th"; }

// Checks the tags of a guarded text: every "<" opens a tag whose name is followed by a blank,
// "/" or ">"; returns false when the tags do not nest or break the limits.
bool TagsNestWithinLimits(const std::string& html, const brindle::THtmlLimits& limits) {
    std::vector<std::string> open;
    size_t weight = 0, tables = 0;
    for (size_t at = html.find('<'); at != std::string::npos; at = html.find('<', at + 1)) {
        const size_t end = html.find('>', at);
        if (end == std::string::npos) return false;
        std::string tag = html.substr(at + 1, end - at - 1);
        const bool closing = !tag.empty() && tag[0] == '/';
        if (closing) tag.erase(0, 1);
        const size_t nameEnd = tag.find_first_of(" /");
        const std::string name = tag.substr(0, nameEnd);
        if (name.empty()) return false;
        if (!closing && !tag.empty() && tag.back() == '/') continue;
        const size_t w = IsTablePart(name) && name != "table" ? 3 : 1;
        if (closing) {
            if (open.empty() || open.back() != name) return false;
            open.pop_back();
            weight -= w;
            if (IsTablePart(name)) --tables;
        } else {
            open.push_back(name);
            weight += w;
            if (IsTablePart(name)) ++tables;
            if (weight > limits.maxNesting || tables > limits.maxTableElements) return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    const std::string_view html(reinterpret_cast<const char*>(data), size);
    const THtmlLimits limits{24, 9, 4, 40, 3};
    const std::string guarded = GuardHtml(html, limits).html;
    if (!TagsNestWithinLimits(guarded, limits)) std::abort();
    if (GuardHtml(guarded, limits).html != guarded) std::abort();
    GuardHtml(html);
    return 0;
}
