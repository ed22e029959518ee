#pragma once
// Transfer decoders: base64, quoted-printable and uuencoding, and the decoding of base64 and
// uuencoded attachments.
//
// Attachments are decoded straight into memory. Nothing is written to a temporary file, so
// an attachment's content never reaches the disk unless the user saves it, and no temporary
// file can be left behind.
#include "mime/LineSpan.h"
#include "platform/Exceptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace brindle {

// A character outside the uuencoding alphabet, or a full line that is too short: "Oops...".
class EUUDecodeError : public Exception {
public:
    EUUDecodeError() : Exception("Oops...") {}
};

// A write-only stream: what is written is base64 text; the decoded bytes are appended to the
// output. Characters outside the base64 alphabet (line ends, spaces, tabs, any other byte)
// are skipped. Every four alphabet characters form a group; "=" pads a group: a group that
// begins with a pad in its first or second place gives nothing, a pad in the third place one
// byte, a pad in the fourth place two bytes, and decoding goes on with the next group. The
// characters of an incomplete group wait for the next Write. Finish ends the text: a last
// group of two or three characters without its pads gives its one or two bytes, as if padded;
// a single character gives nothing.
class TBase64DecodingStream {
public:
    explicit TBase64DecodingStream(std::string& output) : output_(output) {}

    // Returns the number of bytes appended to the output during this call.
    size_t Write(const void* buffer, size_t count);
    size_t Write(std::string_view text) { return Write(text.data(), text.size()); }

    // Decodes text like Write, but into out, which has room for MaxDecodedSize(text.size())
    // bytes; returns the end of the bytes written. For callers that size the output once.
    char* DecodeInto(std::string_view text, char* out);
    static constexpr size_t MaxDecodedSize(size_t count) { return (count + 3) / 4 * 3 + 4; }

    // Decodes the incomplete last group, if any, and starts afresh. Finish appends to the
    // output and returns the number of bytes appended; FinishInto writes at most three bytes
    // and returns their end.
    size_t Finish();
    char* FinishInto(char* out);

    // A decoding stream can only be written to: these throw EStreamError
    // ("Invalid stream operation").
    [[noreturn]] size_t Read(void* buffer, size_t count);
    [[noreturn]] int64_t Seek(int64_t offset, int origin);
    [[noreturn]] int64_t Size() const;
    [[noreturn]] int64_t Position() const;

private:
    std::string& output_;
    uint8_t group_[4] = {};
    int groupCount_ = 0;
};

// Decodes quoted-printable text: "=" with two hexadecimal digits (either case) gives one byte;
// "=" before a line end (after optional spaces or tabs) is a soft line break and goes with the
// line end; "=" followed by two characters that are not both hexadecimal digits stays as it
// is, the three characters unchanged; "=" as the last or next-to-last character ends the
// decoding. Every decoded byte is kept, zero bytes included. With underscoreAsSpace (the "Q"
// encoding of header words) "_" gives a space; in bodies it stays.
std::string DecodeQuotedPrintable(std::string_view text, bool underscoreAsSpace = false);

// The value 0 to 63 of a uuencoding character: the grave accent and the space give 0, codes
// 33 to 95 their code minus 32. Anything else throws EUUDecodeError.
uint8_t UUCharValue(char c);

// Appends the bytes of one uuencoded data line; throws EUUDecodeError.
void UUDecodeLine(std::string_view line, std::string& out);

// Replaces data by the bytes of the base64 lines. The bytes are decoded straight from the
// lines' text (line ends are skipped like any byte outside the alphabet) and written once; an
// unpadded last group gives its bytes (TBase64DecodingStream::Finish).
// done, when given, receives the lines' bytes piece by piece once they have been decoded.
void DecodeBase64Attachment(const TLineRuns& lines, std::string& data,
                            const std::function<void(std::string_view)>& done = nullptr);

// Whether the empty lines of a uuencoded block count as lines: they give no bytes either way,
// but a counted one is the block's first data line.
enum class TUUEmptyLines { Count, Skip };

// Replaces data by the bytes of a uuencoded block, whose first line is its "begin" line.
// Decoding stops before a line that is exactly "end" or a single grave accent (the first
// data line is always decoded). On EUUDecodeError data holds the bytes of the lines before
// the bad one.
void DecodeUUAttachment(const TLineRuns& lines, std::string& data, TUUEmptyLines empty = TUUEmptyLines::Count);

}  // namespace brindle
