// Scans any bytes as a version 4 folder: the first four bytes give the length of the .mbx
// part (little-endian, cut to what follows); the rest, when there is any, is the .idx beside
// it. Every record found lies in the file, once, in file order, and its text fits in it.
#include "platform/Exceptions.h"
#include "store/MBXScan.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    if (size < 4) return 0;
    const size_t mbxLength = std::min<size_t>(
        size - 4, static_cast<size_t>(data[0]) | data[1] << 8 | data[2] << 16 | static_cast<size_t>(data[3]) << 24);
    const std::unique_ptr<TByteSource> mbx =
        TByteSource::FromView(std::string_view(reinterpret_cast<const char*>(data) + 4, mbxLength));
    const std::unique_ptr<TByteSource> idx = TByteSource::FromView(
        std::string_view(reinterpret_cast<const char*>(data) + 4 + mbxLength, size - 4 - mbxLength));
    mbx::TMbxScan scan(*mbx, idx->Size() ? idx.get() : nullptr);
    try {
        if (!scan.Run()) std::abort();
    } catch (const Exception&) {
        return 0;
    }
    bool first = true;
    uint64_t previous = 0;
    for (const TFoundMessage& found : scan.Messages()) {
        if (found.Offset >= mbxLength || (!first && found.Offset <= previous)) std::abort();
        first = false;
        previous = found.Offset;
        if (found.Size > mbxLength - found.Offset) std::abort();
        if (scan.Text(found).size() != found.Size) std::abort();
    }
    return 0;
}
