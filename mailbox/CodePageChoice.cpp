#include "mailbox/CodePageChoice.h"

#include "mailbox/CodePage.h"

namespace brindle {

std::optional<TCodePageChoice> TCodePageChoice::Named(std::string_view name) {
    if (name.empty() || name == "auto") return Automatic();
    const TCodePage* page = FindCodePage(name);
    if (!page) return std::nullopt;
    return Fixed(std::string(page->Label));
}

std::string TCodePageChoice::For(std::string_view folderCodePage, const std::function<std::string()>& decideOwn) const {
    if (kind_ != TKind::Automatic) return label_;
    if (!folderCodePage.empty()) return std::string(folderCodePage);
    return decideOwn ? decideOwn() : std::string(kDefaultCodePage);
}

}  // namespace brindle
