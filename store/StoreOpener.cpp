#include "store/StoreOpener.h"

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

std::unique_ptr<TOEReader> CreateStoreReader(const std::string& path, TWarningSink warnings) {
    return CreateStoreReaderFrom(path, TByteSource::OpenFile(path), std::move(warnings));
}

std::unique_ptr<TOEReader> CreateStoreReaderFrom(const std::string& path, std::unique_ptr<TByteSource> file,
                                                 TWarningSink warnings) {
    std::unique_ptr<TOEReader> reader = CreateReaderForKind(DetectFileKind(file->Read(0, 4)));
    if (!reader) throw EOEReaderException("File is not in supported format.");
    reader->SetWarningSink(std::move(warnings));
    reader->SetOpenedFile(path, std::move(file));
    return reader;
}

std::unique_ptr<TOEReader> OpenStore(const std::string& path, TWarningSink warnings, bool sizes) {
    return OpenStoreFrom(path, TByteSource::OpenFile(path), std::move(warnings), sizes);
}

std::unique_ptr<TOEReader> OpenStoreFrom(const std::string& path, std::unique_ptr<TByteSource> file,
                                         TWarningSink warnings, bool sizes) {
    std::unique_ptr<TOEReader> reader = CreateStoreReaderFrom(path, std::move(file), std::move(warnings));
    reader->SetSummarySizes(sizes);
    reader->Open(path);
    reader->ReadMessageInfos();
    return reader;
}

}  // namespace brindle
