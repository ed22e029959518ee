#pragma once
// Writing a whole file in one go.
#include <string>
#include <string_view>

namespace brindle {

// Creates the file, or empties it when it exists, and writes the bytes. Throws EFCreateError
// ("Cannot create file %s") when the file cannot be created and EWriteError when writing fails.
void WriteWholeFile(const std::string& path, std::string_view bytes);

}  // namespace brindle
