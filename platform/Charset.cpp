#include "platform/Charset.h"

#include "platform/CharsetLabels.h"
#include "platform/TextRules.h"
#include "platform/Utf8.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <list>
#include <optional>
#include <utility>

namespace brindle {
namespace {

constexpr size_t kMaxCharsetNameLength = 40;
constexpr size_t kCachedConverters = 8;
// Below this many 8-bit bytes the detector's answer is not taken.
constexpr size_t kMinDetectorBytes = 4;
// The detector judges a long text by its start.
constexpr size_t kDetectorSampleBytes = 65536;

enum class TBuiltin { None, Utf8, Utf8OrCp1252, Cp1252 };

// Trims blanks and quotes, drops an RFC 2231 language suffix ("utf-8*en") and lower-cases.
std::string NormalizeName(std::string_view name) {
    auto isJunk = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '"' || c == '\''; };
    while (!name.empty() && isJunk(name.front())) name.remove_prefix(1);
    while (!name.empty() && isJunk(name.back())) name.remove_suffix(1);
    size_t star = name.find('*');
    if (star != std::string_view::npos) name = name.substr(0, star);
    return LowerAscii(name);
}

// The ASCII labels: text so labelled is often UTF-8 or Windows-1252 in fact.
bool IsAsciiLabel(std::string_view name) {
    return name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968" || name == "us";
}

const TCharsetLabel* FindLabel(std::string_view name) {
    const TCharsetLabel* first = kCharsetLabels;
    const TCharsetLabel* last = kCharsetLabels + kCharsetLabelCount;
    const TCharsetLabel* found = std::lower_bound(
        first, last, name, [](const TCharsetLabel& entry, std::string_view wanted) { return entry.Label < wanted; });
    return found != last && found->Label == name ? found : nullptr;
}

TBuiltin BuiltinFor(std::string_view name, const TCharsetLabel* label) {
    if (name.empty() || IsAsciiLabel(name)) return TBuiltin::Utf8OrCp1252;
    if (label == nullptr) return TBuiltin::None;
    if (label->Encoding == "utf-8") return TBuiltin::Utf8;
    if (label->Encoding == "windows-1252" || label->Encoding == "x-user-defined") return TBuiltin::Cp1252;
    return TBuiltin::None;
}

bool IsPlausibleName(std::string_view name) {
    if (name.empty() || name.size() > kMaxCharsetNameLength) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
                  c == '+';
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
        if (out.size() - used < kUtf8Replacement.size()) reserveMore();
        out.replace(used, kUtf8Replacement.size(), kUtf8Replacement);
        used += kUtf8Replacement.size();
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

// The text in the named system converter's charset; nothing when the system lacks it.
std::optional<std::string> ConvertWith(std::string_view bytes, const std::string& converter) {
    thread_local TConverterCache cache;
    iconv_t cd = cache.Get(converter);
    if (cd == nullptr) return std::nullopt;
    // The system converter lets some ill-formed sequences through (UTF-8 forms beyond
    // U+10FFFF, for one), so its output is checked.
    std::string text = Convert(cd, bytes);
    if (!IsValidUtf8(text)) return RepairUtf8(text);
    return text;
}

// A label fit to read undeclared 8-bit text; nullptr for others. UTF-8 and UTF-16 are not (the
// text is not valid UTF-8, and UTF-16 is no byte-wise text), nor the 7-bit encodings with
// escape sequences, in which no 8-bit byte is valid.
const TCharsetLabel* UndeclaredTextLabel(std::string_view charset) {
    std::string name = NormalizeName(charset);
    const TCharsetLabel* label = FindLabel(name);
    if (label == nullptr || IsAsciiLabel(name)) return nullptr;
    if (label->Encoding == "windows-1252") return label;
    std::string_view encoding = label->Encoding;
    bool eightBit = encoding != "utf-8" && encoding != "utf-7" && !encoding.starts_with("utf-16") &&
                    !encoding.starts_with("iso-2022") && encoding != "hz-gb-2312" && encoding != "x-user-defined";
    return eightBit && !label->Converter.empty() ? label : nullptr;
}

// The bytes read in the label's encoding; nothing when there is no label or when some bytes
// are not valid in it, so that the next guess can be tried.
std::optional<std::string> ReadAs(std::string_view bytes, const TCharsetLabel* label) {
    if (label == nullptr) return std::nullopt;
    if (label->Converter.empty()) return Cp1252ToUtf8(bytes);
    std::optional<std::string> text = ConvertWith(bytes, std::string(label->Converter));
    if (text && text->find(kUtf8Replacement) != std::string::npos) return std::nullopt;
    return text;
}

size_t CountEightBitBytes(std::string_view bytes) {
    size_t count = 0;
    for (char c : bytes) count += static_cast<unsigned char>(c) >= 0x80;
    return count;
}

// The label of the encoding that the detector names for the bytes; nullptr when it names
// none, one that is not in the table or not fit for 8-bit text, or when the text has too few
// 8-bit bytes for its answer to mean much (it takes "ni\xF1o" for Latin-6).
const TCharsetLabel* DetectedLabel(std::string_view bytes) {
    bytes = bytes.substr(0, kDetectorSampleBytes);
    if (CountEightBitBytes(bytes) < kMinDetectorBytes) return nullptr;
    struct TDetector {
        uchardet_t handle = uchardet_new();
        ~TDetector() { uchardet_delete(handle); }
    };
    thread_local TDetector detector;
    if (detector.handle == nullptr) return nullptr;
    uchardet_reset(detector.handle);
    if (uchardet_handle_data(detector.handle, bytes.data(), bytes.size()) != 0) return nullptr;
    uchardet_data_end(detector.handle);
    const char* name = uchardet_get_charset(detector.handle);
    return name == nullptr ? nullptr : UndeclaredTextLabel(name);
}

}  // namespace

const std::string& TCharsetHints::MessageCharset() const {
    if (!messageCharset_) messageCharset_ = findMessageCharset_ ? findMessageCharset_() : std::string();
    return *messageCharset_;
}

bool KeepsValidUtf8(std::string_view charset) {
    std::string name = NormalizeName(charset);
    TBuiltin builtin = BuiltinFor(name, FindLabel(name));
    return builtin == TBuiltin::Utf8 || builtin == TBuiltin::Utf8OrCp1252;
}

bool ReadsUndeclaredText(std::string_view charset) { return UndeclaredTextLabel(charset) != nullptr; }

std::string_view EncodingOfLabel(std::string_view charset) {
    const TCharsetLabel* label = FindLabel(NormalizeName(charset));
    return label == nullptr ? std::string_view() : label->Encoding;
}

std::string DetectedEncoding(std::string_view bytes) {
    const TCharsetLabel* label = DetectedLabel(bytes);
    return label == nullptr ? std::string() : std::string(label->Encoding);
}

std::string UndeclaredToUtf8(std::string_view bytes, const TCharsetHints& hints) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    if (auto text = ReadAs(bytes, UndeclaredTextLabel(hints.MessageCharset()))) return std::move(*text);
    if (auto text = ReadAs(bytes, UndeclaredTextLabel(hints.StoreCodePage()))) return std::move(*text);
    if (auto text = ReadAs(bytes, DetectedLabel(bytes))) return std::move(*text);
    return Cp1252ToUtf8(bytes);
}

std::string ToUtf8(std::string_view bytes, std::string_view charset, const TCharsetHints& hints) {
    std::string name = NormalizeName(charset);
    const TCharsetLabel* label = FindLabel(name);
    switch (BuiltinFor(name, label)) {
        case TBuiltin::Utf8: return RepairUtf8(bytes);
        case TBuiltin::Utf8OrCp1252: return name.empty() ? UndeclaredToUtf8(bytes, hints) : Utf8OrCp1252(bytes);
        case TBuiltin::Cp1252: return Cp1252ToUtf8(bytes);
        case TBuiltin::None: break;
    }
    std::optional<std::string> text;
    if (label != nullptr && !label->Converter.empty())
        text = ConvertWith(bytes, std::string(label->Converter));
    else if (label == nullptr && IsPlausibleName(name))
        text = ConvertWith(bytes, name);
    if (text) return std::move(*text);
    return UndeclaredToUtf8(bytes, hints);
}

}  // namespace brindle
