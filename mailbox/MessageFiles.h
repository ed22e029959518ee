#pragma once
// Saving messages as .eml files: the file name made from the index and the subject, and the
// file content with every line ended by CR LF.
#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

// The text with each of the ten characters ! " % ' * . / : ? \ replaced by a space; the
// length never changes.
std::string SafeFileNamePart(std::string_view text);

// The name "%d_%s.eml" of a saved message: the index in decimal and SafeFileNamePart of the
// subject taken as UTF-8 (bytes that are not valid UTF-8 are read as Windows-1252). The subject
// is shortened at a character boundary so that the whole name fits 255 bytes.
std::string SavedMessageFileName(int32_t index, std::string_view subject);

// Creates the file, or empties it when it exists, and writes the text with its line ends made
// CR LF and a CR LF after the last line; the text ends at its first NUL. Throws EFCreateError
// ("Cannot create file %s") or EWriteError.
void SaveMessageFile(const std::string& path, std::string_view rawText);

}  // namespace brindle
