// Reads any bytes as a version 4 folder: the first four bytes give the length of the .mbx part
// (little-endian, cut to what follows); the rest, when there is any, is the .idx beside it.
// Open, every summary, every header block and text. Reader errors are expected; anything
// else (a crash, a hang, a huge allocation) is a finding.
#include "store/MBXReader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    if (size < 4) return 0;
    const size_t mbxLength = std::min<size_t>(
        size - 4, static_cast<size_t>(data[0]) | data[1] << 8 | data[2] << 16 | static_cast<size_t>(data[3]) << 24);
    std::string_view mbx(reinterpret_cast<const char*>(data) + 4, mbxLength);
    std::string_view idx(reinterpret_cast<const char*>(data) + 4 + mbxLength, size - 4 - mbxLength);

    TMBXReader reader;
    reader.SetFileSystem(
        [mbx, idx](const std::string& path) { return TByteSource::FromView(path == "fuzz.mbx" ? mbx : idx); },
        [idx](const std::string& path) { return path == "fuzz.idx" && !idx.empty(); });
    try {
        reader.Open("fuzz.mbx");
    } catch (const Exception&) {}
    try {
        reader.ReadMessageInfos();
    } catch (const Exception&) {}
    if (reader.GetFolderName() != "fuzz") std::abort();
    const int32_t count = reader.GetMessageCount();
    if (count < 0) std::abort();
    for (int32_t i = 0; i < count; ++i) {
        TMessageInfo info = reader.GetMessageInfo(i);
        if (info.Subject.size() > kShortStringMax || info.SenderName.size() > kShortStringMax) std::abort();
        std::string header = reader.GetMessageHeader(i);
        if (!header.empty() && header.back() != '\r') std::abort();
        try {
            if (reader.GetMessageText(i).size() > mbx.size()) std::abort();
        } catch (const Exception&) {}
    }
    return 0;
}
