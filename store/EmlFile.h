#pragma once
// Single .eml messages, recognised and read as the main window does.
#include <string>
#include <string_view>

namespace brindle {

// True when the file-name part of path ends in ".eml", in any case of its letters.
bool IsEmlFileName(std::string_view path);

// The message's raw text: the file's bytes split into lines at CR LF, lone CR and lone LF,
// ended at the first NUL, and joined again with CR LF after every line. Throws EFOpenError.
std::string ReadEmlFile(const std::string& path);

}  // namespace brindle
