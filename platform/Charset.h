#pragma once
// Conversion of text in a declared character set to UTF-8, and the reading of text whose
// charset is not declared or not known.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// What text without a usable declared charset is read as, tried in this order before the
// detector: the body charset that the message declares somewhere, then the store's code page.
// Either may be missing. The message's charset is looked up only when first needed, as most
// messages never need it.
class TCharsetHints {
public:
    TCharsetHints() = default;
    // findMessageCharset is called at most once and gives the charset, or an empty text.
    explicit TCharsetHints(std::function<std::string()> findMessageCharset, std::string storeCodePage = {})
        : findMessageCharset_(std::move(findMessageCharset)), storeCodePage_(std::move(storeCodePage)) {}

    const std::string& MessageCharset() const;
    const std::string& StoreCodePage() const { return storeCodePage_; }

private:
    std::function<std::string()> findMessageCharset_;
    mutable std::optional<std::string> messageCharset_;
    std::string storeCodePage_;
};

// The bytes read in the named charset, as UTF-8. Labels are those of the WHATWG Encoding
// Standard and the spellings of old mail programs, matched without regard to case and with
// blanks and quotes around them trimmed; other names the system's converter knows are read
// by it. UTF-8 labels keep valid UTF-8 and repair the rest. ISO-8859-1 is read as its superset
// Windows-1252, and so is "x-user-defined"; the ASCII labels, often wrong about 8-bit text,
// keep valid UTF-8 and read anything else as Windows-1252. An empty, unknown or unreadable
// name reads the bytes as UndeclaredToUtf8 does. Invalid sequences become U+FFFD; the
// conversion never fails and never loses the rest of the text.
std::string ToUtf8(std::string_view bytes, std::string_view charset, const TCharsetHints& hints = {});

// Bytes of no declared charset, as UTF-8: valid UTF-8 stays as it is; anything else is read in
// the first of these that is fit to read 8-bit text (ReadsUndeclaredText) and in which all the
// bytes are valid: the message's charset, the store's code page, the encoding the detector
// names (when the text has enough 8-bit bytes for it to judge); else as Windows-1252.
std::string UndeclaredToUtf8(std::string_view bytes, const TCharsetHints& hints = {});

// True when ToUtf8 gives valid UTF-8 back unchanged for this charset: no name, UTF-8 and the
// ASCII names.
bool KeepsValidUtf8(std::string_view charset);

// True for a known label of an encoding that gives 8-bit bytes a meaning of their own (not
// UTF-8, UTF-16, ASCII or a 7-bit one like ISO-2022-JP) and that this system can read: the
// labels fit to read text of no declared charset.
bool ReadsUndeclaredText(std::string_view charset);

// The standard's name of the encoding that the detector names for 8-bit text of no declared
// charset, when it is fit to read such text (ReadsUndeclaredText); empty when the text has too
// few 8-bit bytes to judge or the detector names none.
std::string DetectedEncoding(std::string_view bytes);

// The standard's name of the encoding that a label names ("shift_jis" for "X-SJIS"); empty
// when the label is not in the table.
std::string_view EncodingOfLabel(std::string_view charset);

}  // namespace brindle
