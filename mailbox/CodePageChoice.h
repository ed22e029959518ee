#pragma once
// Which code page a store's summaries are read in: decided from evidence (the store folder's
// decision for a store of a folder, else the store's own), or one the user fixed.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

class TCodePageChoice {
public:
    enum class TKind {
        Automatic,    // the store folder's decision when there is one, else each store's own
        StoreFolder,  // the store folder's decision, given as Label()
        Fixed,        // the user's choice, given as Label()
    };

    TCodePageChoice() = default;
    static TCodePageChoice Automatic() { return {}; }
    static TCodePageChoice OfStoreFolder(std::string label) { return {TKind::StoreFolder, std::move(label)}; }
    static TCodePageChoice Fixed(std::string label) { return {TKind::Fixed, std::move(label)}; }
    // "auto" (or empty): automatic; a code page's label or number: fixed, under its label;
    // none for other names.
    static std::optional<TCodePageChoice> Named(std::string_view name);

    TKind Kind() const { return kind_; }
    bool IsAutomatic() const { return kind_ == TKind::Automatic; }
    // The label of a store-folder or fixed choice; empty for an automatic one.
    const std::string& Label() const { return label_; }

    // The label to read a store in: a fixed or store-folder choice's own; for an automatic one
    // folderCodePage when it is not empty, else what decideOwn answers (asked only then).
    std::string For(std::string_view folderCodePage, const std::function<std::string()>& decideOwn) const;

    bool operator==(const TCodePageChoice&) const = default;

private:
    TCodePageChoice(TKind kind, std::string label) : kind_(kind), label_(std::move(label)) {}

    TKind kind_ = TKind::Automatic;
    std::string label_;
};

}  // namespace brindle
