#pragma once
// Conversion of text in a declared character set to UTF-8.
#include <string>
#include <string_view>

namespace brindle {

// The bytes read in the named charset, as UTF-8. Names are matched without regard to case;
// names that the system does not know, and "x-user-defined", are read as Windows-1252. An
// empty name keeps valid UTF-8 and reads anything else as Windows-1252, and so do "us-ascii"
// and its aliases, whose label is often wrong about 8-bit text. ISO-8859-1 is read as its
// superset Windows-1252. Invalid sequences become U+FFFD; the conversion never fails and never
// loses the rest of the text.
std::string ToUtf8(std::string_view bytes, std::string_view charset);

// True when ToUtf8 gives valid UTF-8 back unchanged for this charset: no name, UTF-8 and the
// ASCII names.
bool KeepsValidUtf8(std::string_view charset);

}  // namespace brindle
