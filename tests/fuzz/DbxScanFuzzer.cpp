// Scans any bytes as a .dbx folder file whose index may be lost: every message found and its
// text. Each found message lies in the file, and its text is no longer than what its blocks
// can hold. Anything else (a crash, a hang, a huge allocation) is a finding.
#include "platform/Exceptions.h"
#include "store/DBXScan.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    const std::unique_ptr<TByteSource> file =
        TByteSource::FromView(std::string_view(reinterpret_cast<const char*>(data), size));
    // Split at a small size, so that the two-halves scan runs too.
    dbx::TDbxScan scan(*file, 4096);
    try {
        if (!scan.Run()) std::abort();
    } catch (const Exception&) {
        return 0;
    }
    uint64_t previous = 0;
    for (const TFoundMessage& found : scan.Messages()) {
        if (found.Offset >= size || found.Offset < previous || found.LostBytes > found.Size) std::abort();
        previous = found.Offset;
        try {
            const std::string text = scan.Text(found);
            // Every block carries at most 0x200 text bytes.
            if (text.size() > uint64_t{found.Blocks} * 0x200) std::abort();
        } catch (const Exception&) {}
    }
    return 0;
}
