#pragma once
// The one way to open a store: the file is opened once, its kind read from its first bytes
// (never from its extension), and the reader of that kind opens the same source.
#include "store/OEReader.h"

#include <memory>
#include <string>

namespace brindle {

// The reader for a detected kind; none for an unknown kind.
std::unique_ptr<TOEReader> CreateReaderForKind(uint8_t fileKind);

// Opens the file and creates the reader of its kind, holding the open file; the caller then
// calls Open(path) (which reads from that file) and ReadMessageInfos. Throws
// EOEReaderException ("File is not in supported format.") for a file of neither kind and the
// file layer's errors as they come.
std::unique_ptr<TOEReader> CreateStoreReader(const std::string& path, TWarningSink warnings = {});
// The same with the file already open (path names it).
std::unique_ptr<TOEReader> CreateStoreReaderFrom(const std::string& path, std::unique_ptr<TByteSource> file,
                                                 TWarningSink warnings = {});

// Creates the reader, opens the store and reads every summary (with the messages' sizes unless
// sizes is false); throws as the readers do.
std::unique_ptr<TOEReader> OpenStore(const std::string& path, TWarningSink warnings = {}, bool sizes = true);
// The same with the file already open (path names it).
std::unique_ptr<TOEReader> OpenStoreFrom(const std::string& path, std::unique_ptr<TByteSource> file,
                                         TWarningSink warnings = {}, bool sizes = true);

}  // namespace brindle
