#pragma once
// Media types of file names, from the system's extension table (/etc/mime.types) read once,
// with a small built-in table when that file is missing.
#include <string>
#include <string_view>

namespace brindle {

// The media type of a file name by its extension: from the last "." of the name's last
// component (after the last "\", "/" or ":"). "application/octet-stream" when the name has no
// extension or the extension is unknown. Extensions match without regard to case.
std::string ContentTypeOfFile(std::string_view fileName);

// The usual extension of a media type, with its dot (".pdf"); empty when unknown. Parameters
// after ";" and letter case are ignored.
std::string ExtensionOfMediaType(std::string_view mediaType);

// Uses a table in the format of /etc/mime.types (a type, then its extensions, per line; "#"
// begins a comment) instead of the system's; an empty text selects the built-in fallback
// table. For tests.
void LoadContentTypeTable(std::string_view text);

// Uses the system's table again (the built-in one when the system has none).
void LoadSystemContentTypeTable();

}  // namespace brindle
