#pragma once
// Names of the kinds of store file, as the window shows them.
#include <QString>

#include <cstdint>

namespace brindle {

// "Folder file, version 4" for kind 1 (.mbx with .idx), "Folder file, version 5/6" for kind 2
// (.dbx), empty otherwise.
QString StoreFormatName(uint8_t fileKind);
// The line that names a store's format in the header pane: "Format: %s".
QString FormatLine(uint8_t fileKind);

}  // namespace brindle
