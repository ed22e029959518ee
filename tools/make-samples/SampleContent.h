#pragma once
// The messages of the demo stores and of the benchmark store, and the small files they carry:
// a PNG picture and a PDF document made in code, base64 bodies and encoded words.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::samples {

// What a store's summary of one message holds, besides its raw text.
struct TSampleMessage {
    std::string rawText;  // header block, empty line, body; CR LF line ends
    std::string subject;  // as the summary stores it (8-bit)
    std::string senderName;
    std::string senderAddress;
    std::string receiverName;
    std::string receiverAddress;
    std::string messageID;
    std::string account;
    std::string server;
    uint32_t flags = 0;     // 0x80 read, 0x20 flagged, 0x4000 has attachments
    uint32_t priority = 3;  // 1 high, 3 normal, 5 low
    uint64_t receivedFileTime = 0;
};

// An RGB picture of width x height pixels with a colour gradient, as a valid PNG file
// (zlib stream of stored blocks, CRC-32 and Adler-32 as the format asks).
std::string MakePng(uint32_t width, uint32_t height);

// A one-page PDF document that shows one line of text, with a correct cross-reference table.
std::string MakePdf(std::string_view line);

// Base64 of bytes in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(std::string_view bytes);

// "=?charset?B?...?=" for the bytes of a text in that charset.
std::string EncodedWord(std::string_view charset, std::string_view bytes);

// Unix time (seconds since 1970-01-01 UTC) as a FILETIME.
uint64_t FileTimeFromUnix(int64_t seconds);

// The messages of samples/Demo.dbx and samples/Demo.mbx, in order.
std::vector<TSampleMessage> DemoMessages();

// The raw text of samples/Welcome.eml.
std::string WelcomeMessage();

// The messages of the benchmark store: count messages, every tenth (index % 10 == 9) a
// mail of about 200 KB with a base64 attachment, the others text mails of about 2 KB.
TSampleMessage BenchMessage(uint32_t index);

}  // namespace brindle::samples
