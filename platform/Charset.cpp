#include "platform/Charset.h"

#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <iconv.h>

#include <cerrno>
#include <list>
#include <utility>

namespace brindle {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr size_t kMaxCharsetNameLength = 40;
constexpr size_t kCachedConverters = 8;

enum class TBuiltin { None, Utf8, Utf8OrCp1252, Cp1252 };

// Trims blanks and quotes, drops an RFC 2231 language suffix ("utf-8*en") and lower-cases.
std::string NormalizeName(std::string_view name) {
    auto isJunk = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
    while (!name.empty() && isJunk(name.front())) name.remove_prefix(1);
    while (!name.empty() && isJunk(name.back())) name.remove_suffix(1);
    size_t star = name.find('*');
    if (star != std::string_view::npos) name = name.substr(0, star);
    return LowerAscii(name);
}

TBuiltin BuiltinFor(const std::string& name) {
    static const std::pair<std::string_view, TBuiltin> kNames[] = {
        {"", TBuiltin::Utf8OrCp1252},          {"us-ascii", TBuiltin::Utf8OrCp1252},
        {"ascii", TBuiltin::Utf8OrCp1252},     {"ansi_x3.4-1968", TBuiltin::Utf8OrCp1252},
        {"us", TBuiltin::Utf8OrCp1252},        {"utf-8", TBuiltin::Utf8},
        {"utf8", TBuiltin::Utf8},              {"windows-1252", TBuiltin::Cp1252},
        {"cp1252", TBuiltin::Cp1252},          {"x-cp1252", TBuiltin::Cp1252},
        {"iso-8859-1", TBuiltin::Cp1252},      {"iso8859-1", TBuiltin::Cp1252},
        {"iso_8859-1", TBuiltin::Cp1252},      {"latin1", TBuiltin::Cp1252},
        {"l1", TBuiltin::Cp1252},              {"x-user-defined", TBuiltin::Cp1252},
    };
    for (const auto& [known, builtin] : kNames)
        if (name == known) return builtin;
    return TBuiltin::None;
}

// Names that mail programs use and the system's converter does not know.
std::string_view SystemNameFor(const std::string& name) {
    static const std::pair<std::string_view, std::string_view> kAliases[] = {
        {"gb2312", "GB18030"},           {"x-gbk", "GB18030"},
        {"ks_c_5601-1987", "CP949"},     {"unicode-1-1-utf-7", "UTF-7"},
        {"x-mac-cyrillic", "MAC-CYRILLIC"},
    };
    for (const auto& [alias, system] : kAliases)
        if (name == alias) return system;
    return name;
}

bool IsPlausibleName(std::string_view name) {
    if (name.empty() || name.size() > kMaxCharsetNameLength) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.' || c == ':' || c == '+';
        if (!ok) return false;
    }
    return true;
}

// A few open converters, most recently used first, so that a message with many encoded words
// in one charset opens the converter once.
class TConverterCache {
public:
    ~TConverterCache() {
        for (auto& entry : entries_) iconv_close(entry.second);
    }

    // The converter from the named charset to UTF-8, or nullptr when the system lacks one.
    iconv_t Get(const std::string& name) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == name) {
                entries_.splice(entries_.begin(), entries_, it);
                return entries_.front().second;
            }
        }
        iconv_t cd = iconv_open("UTF-8", name.c_str());
        if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
        if (entries_.size() == kCachedConverters) {
            iconv_close(entries_.back().second);
            entries_.pop_back();
        }
        entries_.emplace_front(name, cd);
        return cd;
    }

private:
    std::list<std::pair<std::string, iconv_t>> entries_;
};

std::string Convert(iconv_t cd, std::string_view bytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    std::string out;
    out.resize(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    size_t used = 0;
    auto convertStep = [&](char** inPtr, size_t* inLeftPtr) {
        char* outPtr = out.data() + used;
        size_t outLeft = out.size() - used;
        size_t rc = iconv(cd, inPtr, inLeftPtr, &outPtr, &outLeft);
        used = static_cast<size_t>(outPtr - out.data());
        return rc == static_cast<size_t>(-1) ? errno : 0;
    };
    auto reserveMore = [&] { out.resize(out.size() * 2); };
    while (inLeft > 0) {
        int err = convertStep(&in, &inLeft);
        if (err == 0) break;
        if (err == E2BIG) {
            reserveMore();
            continue;
        }
        if (out.size() - used < kReplacement.size()) reserveMore();
        out.replace(used, kReplacement.size(), kReplacement);
        used += kReplacement.size();
        if (err != EILSEQ) break;  // an incomplete sequence at the end
        ++in;
        --inLeft;
    }
    for (;;) {  // flush the shift state of stateful charsets
        int err = convertStep(nullptr, nullptr);
        if (err != E2BIG) break;
        reserveMore();
    }
    out.resize(used);
    return out;
}

}  // namespace

bool KeepsValidUtf8(std::string_view charset) {
    TBuiltin builtin = BuiltinFor(NormalizeName(charset));
    return builtin == TBuiltin::Utf8 || builtin == TBuiltin::Utf8OrCp1252;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    std::string name = NormalizeName(charset);
    switch (BuiltinFor(name)) {
        case TBuiltin::Utf8: return RepairUtf8(bytes);
        case TBuiltin::Utf8OrCp1252: return Utf8OrCp1252(bytes);
        case TBuiltin::Cp1252: return Cp1252ToUtf8(bytes);
        case TBuiltin::None: break;
    }
    if (!IsPlausibleName(name)) return Cp1252ToUtf8(bytes);
    thread_local TConverterCache cache;
    iconv_t cd = cache.Get(std::string(SystemNameFor(name)));
    if (cd == nullptr) return Cp1252ToUtf8(bytes);
    // The system converter lets some ill-formed sequences through (UTF-8 forms beyond
    // U+10FFFF, for one), so its output is checked.
    std::string text = Convert(cd, bytes);
    return IsValidUtf8(text) ? text : RepairUtf8(text);
}

}  // namespace brindle
