#pragma once
// Rules for the names of files that Brindle writes. Saved mail is often carried to Windows,
// so the rules of both systems apply on every platform.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace brindle {

// Longer names are cut (at a UTF-8 character boundary); most file systems stop at 255 bytes.
constexpr size_t kMaxFileNameBytes = 255;

// Control characters (U+0000-U+001F, U+007F, U+0080-U+009F) and the bidirectional embedding,
// override and isolate controls (U+202A-U+202E, U+2066-U+2069), which can make a name read
// differently from what it is.
bool IsUnsafeNameCodePoint(uint32_t codePoint);

// The UTF-8 text with every unsafe code point replaced by one replacement byte; bytes that
// are not valid UTF-8 stay as they are.
std::string ReplaceUnsafeCodePoints(std::string_view utf8, char replacement);

// True for CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 in any case, alone or before a "."
// (Windows also ignores spaces before that dot).
bool IsReservedDeviceName(std::string_view name);

// A name (UTF-8) that is safe to create in a folder: "/", "\" and unsafe code points become
// "_"; a name that starts with "." (hidden) or is a reserved device name gets a leading "_".
// "." and ".." give an empty name.
std::string SafeSaveName(std::string_view utf8);

// The stem and the extension (from the last ".", which is not the first character) of a name;
// an extension longer than 32 bytes counts as part of the stem.
std::pair<std::string_view, std::string_view> SplitExtension(std::string_view name);

// "stem (N).ext" for N >= 2, the name itself for N < 2, with the stem cut so that the whole
// fits kMaxFileNameBytes. An empty result, "." or ".." gets a leading "_".
std::string NumberedFileName(std::string_view name, size_t number);

// Hands out file names that are all different: a name is cut to fit (NumberedFileName), and one
// that was handed out before gets the next free number. The counter is kept per name as cut, so
// that many long names that differ only after the cut are numbered in linear time.
class TUniqueNames {
public:
    std::string Take(std::string_view name);
    // The names composed so far, for checking that numbering stays linear.
    size_t Tries() const { return tries_; }

private:
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, size_t> nextNumber_;
    size_t tries_ = 0;
};

// dir and name joined by one slash.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace brindle
