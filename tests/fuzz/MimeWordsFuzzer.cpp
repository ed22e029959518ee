// Decodes any bytes as a header value with encoded words and as an address list: the results
// are UTF-8.
#include "mime/HeaderFields.h"
#include "platform/Utf8.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindle;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string decoded = DecodeEncodedWords(bytes);
    if (!IsValidUtf8(decoded) || decoded.find('\0') != std::string::npos) std::abort();
    if (!IsValidUtf8(NormalizeAddressList(bytes))) std::abort();
    PartFileName(std::string(bytes), std::string(bytes));
    return 0;
}
