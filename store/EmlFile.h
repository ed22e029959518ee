#pragma once
// Single .eml messages, recognised and read as the main window does.
#include "platform/ByteSource.h"

#include <memory>
#include <string>
#include <string_view>

namespace brindle {

// True when the file-name part of path ends in ".eml", in any case of its letters.
bool IsEmlFileName(std::string_view path);

// The message's raw text: the file's bytes split into lines at CR LF, lone CR and lone LF, a
// NUL kept as any other byte, and joined again with CR LF after every line. Throws EFOpenError,
// and EReadError when the file is cut short while it is read.
std::string ReadEmlFile(const std::string& path);

// The file's bytes, unchanged and mapped where the system allows, for TMoxMsg::SetRawFile
// (which splits the lines at CR LF, lone CR and lone LF and ends the text at its first NUL).
// Throws EFOpenError.
std::shared_ptr<const TByteSource> OpenEmlFile(const std::string& path);

}  // namespace brindle
