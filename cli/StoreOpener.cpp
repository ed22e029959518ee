#include "cli/StoreOpener.h"

#include "store/DBXReader.h"
#include "store/MBXReader.h"

namespace brindle {

std::unique_ptr<TOEReader> CreateReaderForKind(uint8_t fileKind) {
    switch (fileKind) {
    case kFileKindOE4: return std::make_unique<TMBXReader>();
    case kFileKindOE5: return std::make_unique<TDBXReader>();
    default: return nullptr;
    }
}

std::unique_ptr<TOEReader> OpenStore(const std::string& path) {
    uint8_t kind;
    {
        TOEReader probe;
        probe.Open(path);
        kind = probe.FileKind();
    }
    std::unique_ptr<TOEReader> reader = CreateReaderForKind(kind);
    if (!reader) throw EOEReaderException("File is not in supported format.");
    reader->Open(path);
    reader->ReadMessageInfos();
    return reader;
}

}  // namespace brindle
