#pragma once
// Opening a store as the main window does: a bare reader probes the file's first bytes, the
// reader of that kind opens it and builds every summary.
#include "store/OEReader.h"

#include <memory>
#include <string>

namespace brindle {

// The reader for a detected kind; none for an unknown kind.
std::unique_ptr<TOEReader> CreateReaderForKind(uint8_t fileKind);

// Probes, opens and reads the summaries of the store at path. Throws EOEReaderException
// ("File is not in supported format.") for a file of neither kind, and the readers' and the
// file layer's errors as they come.
std::unique_ptr<TOEReader> OpenStore(const std::string& path);

}  // namespace brindle
