#pragma once
// The text rules of message text: trimming removes every character with a code from 0 to 32
// at both ends; case changes touch only the ASCII letters.
#include <string>
#include <string_view>

namespace brindle {

inline bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= 32; }

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back())) text.remove_suffix(1);
    return text;
}

inline bool IsBlank(std::string_view text) { return Trim(text).empty(); }

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

inline std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

// The value of a hexadecimal digit, letters in either case; -1 for any other character.
inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// True when the text begins with the prefix, ASCII letters compared without regard to case.
inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (UpperAscii(text[i]) != UpperAscii(prefix[i])) return false;
    return true;
}

}  // namespace brindle
