#include "viewer/HtmlGuard.h"

#include "platform/TextRules.h"
#include "viewer/ViewerText.h"

#include <algorithm>
#include <map>
#include <vector>

namespace brindle {
namespace {

constexpr uint64_t kTagCost = 8;
constexpr size_t kMaxEntityLength = 32;
constexpr size_t kMaxCostShift = 40;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsSpace(char c) { return IsBlankByte(c); }
bool IsEntityChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '#'; }
bool IsNameChar(char c) {
    return IsLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':' || c == '.';
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements that never have content; they are written self-closed.
bool IsVoid(std::string_view name) {
    return OneOf(name, {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
                        "track", "wbr"});
}

// Elements that start a new line, so that a run of characters ends before them.
bool BreaksLine(std::string_view name) {
    return OneOf(name, {"br", "p",  "div",        "td", "th", "tr", "li", "table", "h1", "h2",  "h3",    "h4",
                        "h5", "h6", "blockquote", "ul", "ol", "dl", "dd", "dt",    "hr", "pre", "center"});
}

bool IsTablePart(std::string_view name) { return OneOf(name, {"table", "tr", "td", "th"}); }
bool IsTableInner(std::string_view name) {
    return OneOf(name, {"tr", "td", "th", "thead", "tbody", "tfoot", "caption", "colgroup"});
}
bool IsList(std::string_view name) { return name == "ul" || name == "ol"; }

// Content of these elements is read as raw text up to their end tag.
bool HasRawContent(std::string_view name) { return name == "style" || name == "title"; }

// True when a new element of the first name ends an open element of the second one.
bool Ends(std::string_view opening, std::string_view open) {
    if (opening == "p" || opening == "li" || opening == "tr") return open == opening;
    if (opening == "td" || opening == "th") return open == "td" || open == "th";
    return false;
}

bool EndsAny(std::string_view opening) { return OneOf(opening, {"p", "li", "tr", "td", "th"}); }

// Open elements of these names stop the search for an element that a new one ends.
bool StopsImplicitEnd(std::string_view opening, std::string_view open) {
    if (opening == "li") return OneOf(open, {"ul", "ol", "menu", "dir"});
    if (opening == "td" || opening == "th") return OneOf(open, {"tr", "table"});
    if (opening == "tr") return open == "table";
    return OneOf(open, {"div", "td", "th", "li", "blockquote", "table", "body", "html", "ul", "ol", "dl", "dd", "dt",
                        "center", "form"});
}

struct TAttribute {
    std::string name;
    std::string value;
    bool hasValue = false;
};

struct TTag {
    std::string name;
    std::vector<TAttribute> attributes;
    bool closing = false;
    bool selfClosed = false;
};

class TScanner {
public:
    explicit TScanner(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
    void Skip(size_t n) { pos_ = std::min(text_.size(), pos_ + n); }
    bool AtNoCase(std::string_view prefix) const { return StartsWithNoCase(text_.substr(pos_), prefix); }

    // Moves past the next occurrence of the text (ASCII letters in any case), or to the end.
    void SkipPast(std::string_view needle) {
        while (!AtEnd() && !AtNoCase(needle)) ++pos_;
        Skip(needle.size());
    }

    // Reads a tag that starts at "<" followed by a letter, or by "/" and a letter.
    TTag ReadTag() {
        TTag tag;
        Skip(1);
        if (Peek() == '/') {
            tag.closing = true;
            Skip(1);
        }
        while (!AtEnd() && IsNameChar(Peek())) tag.name += LowerAscii(text_[pos_++]);
        while (!AtEnd()) {
            SkipSpace();
            if (Peek() == '>') {
                Skip(1);
                break;
            }
            if (Peek() == '/') {
                tag.selfClosed = true;
                Skip(1);
                continue;
            }
            if (!AtEnd()) ReadAttribute(tag);
        }
        return tag;
    }

private:
    void SkipSpace() {
        while (!AtEnd() && IsSpace(Peek())) Skip(1);
    }

    void ReadAttribute(TTag& tag) {
        TAttribute attribute;
        while (!AtEnd() && !IsSpace(Peek()) && Peek() != '=' && Peek() != '>' && Peek() != '/')
            attribute.name += LowerAscii(text_[pos_++]);
        SkipSpace();
        if (Peek() == '=') {
            Skip(1);
            SkipSpace();
            attribute.value = ReadValue();
            attribute.hasValue = true;
        }
        if (!attribute.name.empty() && std::all_of(attribute.name.begin(), attribute.name.end(), IsNameChar))
            tag.attributes.push_back(std::move(attribute));
    }

    std::string ReadValue() {
        const char quote = Peek();
        std::string value;
        if (quote == '"' || quote == '\'') {
            Skip(1);
            while (!AtEnd() && Peek() != quote) value += text_[pos_++];
            Skip(1);
            return value;
        }
        while (!AtEnd() && !IsSpace(Peek()) && Peek() != '>' && !(Peek() == '/' && Peek(1) == '>'))
            value += text_[pos_++];
        return value;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

struct TOpenElement {
    TTag tag;
    size_t listItems = 0;
};

class TWriter {
public:
    TWriter(size_t sizeHint, const THtmlLimits& limits) : limits_(limits) { out_.reserve(sizeHint + sizeHint / 16); }

    // Text of the document; long runs without a blank get break opportunities, never inside
    // an entity or a character. An entity counts as one character, like the "<" it may stand
    // for: its "&" counts, its name or number and its ";" do not.
    void Text(char c) {
        bool counts = true;
        if (entity_ > 0) {
            if (IsEntityChar(c) && entity_ < kMaxEntityLength) {
                ++entity_;
                counts = false;
            } else {
                entity_ = 0;
                counts = c != ';';
            }
        }
        if (c == '&') entity_ = 1;
        if (IsBlankByte(c)) {
            run_ = 0;
        } else if (counts && !IsUtf8Continuation(c)) {
            if (run_ >= kMaxUnbrokenRun) {
                out_ += kZeroWidthSpace;
                run_ = 0;
            }
            ++run_;
        }
        RawText(c);
    }

    // A break opportunity that the text has already.
    void ZeroWidthSpace() {
        run_ = 0;
        entity_ = 0;
        out_ += kZeroWidthSpace;
    }

    // Text of an element whose content is read raw, such as a style sheet.
    void RawText(char c) {
        cost_ += LevelCost(1);
        if (c == '<')
            out_ += "&lt;";
        else
            out_ += c;
    }

    // Writes the start tag unless a limit leaves it out; true when it was written.
    bool StartTag(TTag& tag) {
        if (tag.name.empty()) return false;
        if (droppedTables_ > 0 && IsTableInner(tag.name)) return false;
        if (IsVoid(tag.name) || tag.selfClosed) {
            if (tag.name == "img" && ++images_ > limits_.maxImages) return false;
            Write(tag, true);
            return true;
        }
        if (tag.name == "li" && ++listItems_ > limits_.maxAllListItems) return false;
        CloseImplicitly(tag.name);
        if (tag.name == "li") SplitLongList();
        if (!Fits(tag.name)) {
            if (tag.name == "table") ++droppedTables_;
            return false;
        }
        Write(tag, false);
        Push(tag);
        return true;
    }

    void EndTag(const std::string& name) {
        if (droppedTables_ > 0 && (name == "table" || IsTableInner(name))) {
            if (name == "table") --droppedTables_;
            return;
        }
        auto open = counts_.find(name);
        if (open == counts_.end() || open->second == 0) return;
        CloseThrough(name);
    }

    TGuardedHtml Finish() { return {std::move(out_), cost_}; }

private:
    static size_t Weight(std::string_view name) { return IsTablePart(name) && name != "table" ? 3 : 1; }

    uint64_t LevelCost(uint64_t units) const {
        const size_t level = std::min((tableElements_ + 2) / 3, kMaxCostShift);
        return units << level;
    }

    bool Fits(std::string_view name) const {
        if (weight_ + Weight(name) > limits_.maxNesting) return false;
        return !IsTablePart(name) || tableElements_ + 1 <= limits_.maxTableElements;
    }

    void Push(const TTag& tag) {
        stack_.push_back({tag, 0});
        ++counts_[tag.name];
        weight_ += Weight(tag.name);
        if (IsTablePart(tag.name)) ++tableElements_;
        if (IsList(tag.name)) lists_.push_back(stack_.size() - 1);
    }

    void Pop() {
        const std::string& name = stack_.back().tag.name;
        out_ += "</" + name + ">";
        --counts_[name];
        weight_ -= Weight(name);
        if (IsTablePart(name)) --tableElements_;
        if (IsList(name)) lists_.pop_back();
        stack_.pop_back();
    }

    void CloseThrough(const std::string& name) {
        while (!stack_.empty()) {
            const bool last = stack_.back().tag.name == name;
            Pop();
            if (last) return;
        }
    }

    // A new paragraph, list item, row or cell ends the open one of its kind, as long as no
    // element that holds such elements lies between them.
    void CloseImplicitly(const std::string& name) {
        if (!EndsAny(name)) return;
        for (size_t i = stack_.size(); i-- > 0;) {
            const std::string& open = stack_[i].tag.name;
            if (Ends(name, open)) {
                const std::string target = open;
                CloseThrough(target);
                return;
            }
            if (StopsImplicitEnd(name, open)) return;
        }
    }

    // Every item of a list joins the nearest open list, whatever lies between them.
    void SplitLongList() {
        if (lists_.empty()) return;
        TOpenElement& list = stack_[lists_.back()];
        if (++list.listItems <= limits_.maxListItems) return;
        const TTag tag = list.tag;
        const std::string name = tag.name;
        CloseThrough(name);
        Write(tag, false);
        Push(tag);
        stack_.back().listItems = 1;
    }

    void Write(const TTag& tag, bool selfClosed) {
        cost_ += LevelCost(kTagCost);
        if (BreaksLine(tag.name)) run_ = 0;
        out_ += '<';
        out_ += tag.name;
        for (const TAttribute& attribute : tag.attributes) {
            out_ += ' ';
            out_ += attribute.name;
            if (!attribute.hasValue) continue;
            out_ += "=\"";
            for (char c : attribute.value) {
                switch (c) {
                    case '"': out_ += "&quot;"; break;
                    case '<': out_ += "&lt;"; break;
                    case '>': out_ += "&gt;"; break;
                    default: out_ += c; break;
                }
            }
            out_ += '"';
        }
        out_ += selfClosed ? "/>" : ">";
    }

    const THtmlLimits& limits_;
    std::string out_;
    std::vector<TOpenElement> stack_;
    std::vector<size_t> lists_;
    std::map<std::string, size_t, std::less<>> counts_;
    size_t weight_ = 0;
    size_t tableElements_ = 0;
    size_t droppedTables_ = 0;
    size_t images_ = 0;
    size_t listItems_ = 0;
    size_t run_ = 0;
    size_t entity_ = 0;
    uint64_t cost_ = 0;
};

// Copies the content of a raw-text element up to the next "</" and its name, and closes the
// element there, whatever end tag follows.
void CopyRawContent(TScanner& scanner, TWriter& writer, const std::string& name) {
    const std::string end = "</" + name;
    while (!scanner.AtEnd() && !scanner.AtNoCase(end)) {
        writer.RawText(scanner.Peek());
        scanner.Skip(1);
    }
    writer.EndTag(name);
}

void ReadMarkup(TScanner& scanner, TWriter& writer) {
    const char next = scanner.Peek(1);
    if (next == '!') {
        if (scanner.Peek(2) == '-' && scanner.Peek(3) == '-') {
            scanner.Skip(4);
            scanner.SkipPast("-->");
        } else {
            scanner.SkipPast(">");
        }
        return;
    }
    if (next == '?') {
        scanner.SkipPast(">");
        return;
    }
    if (!IsLetter(next) && !(next == '/' && IsLetter(scanner.Peek(2)))) {
        writer.Text('<');
        scanner.Skip(1);
        return;
    }
    TTag tag = scanner.ReadTag();
    if (tag.closing) {
        writer.EndTag(tag.name);
    } else if (tag.name == "script") {
        if (!tag.selfClosed) {
            scanner.SkipPast("</script");
            scanner.SkipPast(">");
        }
    } else {
        const bool written = writer.StartTag(tag);
        if (written && HasRawContent(tag.name) && !tag.selfClosed) CopyRawContent(scanner, writer, tag.name);
    }
}

}  // namespace

TGuardedHtml GuardHtml(std::string_view html, const THtmlLimits& limits) {
    TScanner scanner(html);
    TWriter writer(html.size(), limits);
    while (!scanner.AtEnd()) {
        if (scanner.Peek() == '<') {
            ReadMarkup(scanner, writer);
        } else if (scanner.AtNoCase(kZeroWidthSpace)) {
            writer.ZeroWidthSpace();
            scanner.Skip(kZeroWidthSpace.size());
        } else {
            writer.Text(scanner.Peek());
            scanner.Skip(1);
        }
    }
    return writer.Finish();
}

std::string GuardHtml(std::string_view html) {
    THtmlLimits limits;
    TGuardedHtml guarded = GuardHtml(html, limits);
    while (guarded.layoutCost > kHtmlLayoutBudget && limits.maxTableElements >= 3) {
        limits.maxTableElements -= 3;
        guarded = GuardHtml(html, limits);
    }
    return std::move(guarded.html);
}

}  // namespace brindle
