// Reads any bytes as a .dbx folder file: open, every summary, every header block and text.
// Reader errors are expected; anything else (a crash, a hang, a huge allocation) is a finding.
#include "store/DBXReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TDBXReader reader;
    reader.SetFileSystem([bytes](const std::string&) { return TByteSource::FromView(bytes); },
                         [](const std::string&) { return false; });
    try {
        reader.Open("fuzz.dbx");
    } catch (const Exception&) {}
    try {
        reader.ReadMessageInfos();
    } catch (const Exception&) {}
    reader.GetFolderName();
    const int32_t count = reader.GetMessageCount();
    if (count < 0) std::abort();
    for (int32_t i = 0; i < count; ++i) {
        TMessageInfo info = reader.GetMessageInfo(i);
        if (info.Subject.size() > kShortStringMax || info.AccountName.size() > kShortStringMax) std::abort();
        try {
            std::string header = reader.GetMessageHeader(i);
            if (!header.empty() && header.back() != '\r') std::abort();
        } catch (const Exception&) {}
        try {
            if (reader.GetMessageText(i).size() > size) std::abort();
        } catch (const Exception&) {}
    }
    return 0;
}
