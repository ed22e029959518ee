#pragma once
// Helpers for the message tests: messages written with "\n" line ends, a private folder of
// temporary files, and reading corpus files.
#include "mime/LineSpan.h"
#include "mime/MoxMsg.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::test {

// The text with every "\n" turned into CR LF.
std::string Crlf(std::string_view text);

// A message parsed from text written with "\n" line ends.
std::unique_ptr<TMoxMsg> ParseMessage(std::string_view text);

// A message parsed from raw bytes, line ends as they are.
std::unique_ptr<TMoxMsg> ParseRaw(std::string_view bytes);

// The base64 form of bytes, in lines of 76 characters.
std::string Base64Lines(std::string_view bytes);

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// The path of a corpus file, or empty when the corpus is absent.
std::string CorpusPath(const std::string& relative);

// Every regular file below a folder, sorted.
std::vector<std::string> FilesBelow(const std::string& dir);

// The folder that TMPDIR names for the whole test program (a fresh private folder), and the
// names of the entries in it.
const std::string& PrivateTempDir();
std::vector<std::string> TempDirEntries();

}  // namespace brindle::test
