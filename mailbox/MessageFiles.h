#pragma once
// Saving messages as .eml files: the file name made from the index and the subject, and the
// file content with every line ended by CR LF.
#include "platform/TargetFolder.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle {

// The UTF-8 text with each of the ten characters ! " % ' * . / : ? \ and each control or
// bidirectional character (IsUnsafeNameCodePoint) replaced by a space, and each run of spaces
// folded into one.
std::string SafeFileNamePart(std::string_view text);

// The name "%d_%s.eml" of a saved message: the index in decimal and SafeFileNamePart of the
// subject taken as UTF-8 (Utf8OrCp1252Cut: a subject cut at 255 bytes inside a character stays
// UTF-8; bytes that are not valid UTF-8 are read as Windows-1252). The subject
// is shortened at a character boundary so that the whole name fits 255 bytes.
std::string SavedMessageFileName(int32_t index, std::string_view subject);

// The digits that the indexes of count messages are padded to: those of the largest index, at
// least 4, so that the names of a folder sort in the order of their indexes.
size_t IndexWidth(size_t count);

// The name "NNNN_%s.eml" of an exported message: the index padded with zeros to width, then the
// subject as in SavedMessageFileName but with "." kept.
std::string ExportedMessageFileName(int32_t index, size_t width, std::string_view subject);

// Writes the text into a new file of that name in the folder (TTargetFolder::Write), with its
// line ends made CR LF and a CR LF after the last line; the text ends at its first NUL. Returns
// the name written. Throws EFCreateError ("Cannot create file %s") or EWriteError.
std::string SaveMessageFile(TTargetFolder& folder, const std::string& name, std::string_view rawText,
                            TIfExists ifExists);

}  // namespace brindle
