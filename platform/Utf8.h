#pragma once
// Text shown or written as text is UTF-8. Bytes that are not valid UTF-8 and carry no
// declared charset are read as Windows-1252.
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

// U+FFFD REPLACEMENT CHARACTER in UTF-8: what stands for bytes that could not be read.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

// Appends the UTF-8 form of a code point (at most U+10FFFF, not a surrogate).
void AppendCodePoint(std::string& out, uint32_t cp);

bool IsValidUtf8(std::string_view bytes);

// The code point of the valid UTF-8 sequence at text[i] and its length; {0, 0} when no valid
// sequence begins there (overlong forms, surrogates and values past U+10FFFF are not valid).
struct TCodePoint {
    uint32_t value;
    size_t length;
};
TCodePoint DecodeUtf8At(std::string_view text, size_t i);

// Windows-1252 to UTF-8. The five bytes that the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the control characters of the same number.
std::string Cp1252ToUtf8(std::string_view bytes);

// Valid UTF-8 stays as it is; anything else is read as Windows-1252.
std::string Utf8OrCp1252(std::string_view bytes);

// UTF-8 with every invalid sequence (each maximal ill-formed part) replaced by U+FFFD.
std::string RepairUtf8(std::string_view bytes);

// The longest prefix of a UTF-8 text that has at most maxBytes bytes and does not end
// inside a character.
std::string_view Utf8Prefix(std::string_view utf8, size_t maxBytes);

// The text without a last character that a cut at its end left unfinished (a valid lead
// byte followed by fewer continuation bytes than it needs); any other text as it is.
std::string_view WithoutUnfinishedCharacter(std::string_view bytes);

// The start of a text, at most maxBytes of its bytes, as UTF-8: valid UTF-8 is cut before
// the first character that does not fit; anything else is cut to maxBytes bytes and then
// decided as Utf8OrCp1252Cut does.
std::string Utf8OrCp1252Prefix(std::string_view bytes, size_t maxBytes);

// A text that was cut to cutBytes bytes without regard to characters (summary texts are stored
// cut to 255 bytes), as UTF-8: cut back to a character boundary first, then decided. A text of
// cutBytes bytes or more that is valid UTF-8 up to an unfinished last character stays UTF-8
// without that character; anything else is Utf8OrCp1252 of its first cutBytes bytes.
std::string Utf8OrCp1252Cut(std::string_view bytes, size_t cutBytes);

}  // namespace brindle
