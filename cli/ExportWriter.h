#pragma once
// Writing saved messages quickly: line ends checked in one pass and left alone when they are
// already CR LF, and one write per file.
#include <string>
#include <string_view>

namespace brindle {

// The text as a saved message holds it: cut at its first NUL, every line ended by CR LF, a
// CR LF after the last line. Returns the text itself when it is already in that shape;
// otherwise the text built in scratch.
std::string_view NormalizedLineEnds(std::string_view text, std::string& scratch);

// Creates or empties the file and writes the bytes. Throws EFCreateError ("Cannot create
// file %s") or EWriteError.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace brindle
