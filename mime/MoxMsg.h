#pragma once
// The message object: one call of Parse turns the raw text of a message into its main
// header fields, its text body and its decoded attachments. It decodes; it never composes.
#include "platform/ByteSource.h"
#include "platform/Charset.h"
#include "platform/StringList.h"
#include "platform/TargetFolder.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brindle {

class TAttachedFile {
public:
    std::string FileName;     // the name without any directory part
    std::string PathName;     // the name as given to Add
    TStringList Lines;        // encoded lines, only while the item is being decoded
    std::string Data;         // the decoded content, as bytes
    std::string ContentType;  // looked up by the name's extension
    std::string ContentID;    // the part's Content-ID without angle brackets; empty when none
    std::string MediaType;    // the part's own declared type, lower case
    // Seconds since 1970-01-01 UTC when the attachment carries its own date (a file unpacked
    // from a TNEF attachment); none otherwise.
    std::optional<int64_t> Modified;
    // The file name of the attachment this one was unpacked from (a TNEF winmail.dat), which
    // stays in the list before it; empty for an attachment of the message itself.
    std::string Container;

    // Writes all of Data into a new file of that name in the folder (TTargetFolder::Write) and
    // returns the name written; throws EFCreateError or EWriteError.
    std::string SaveToFile(TTargetFolder& folder, const std::string& name, TIfExists ifExists) const;
};

class TAttachedFiles {
public:
    // Appends an item named by name; sets FileName, PathName and ContentType.
    TAttachedFile& Add(const std::string& name);
    size_t Count() const { return items_.size(); }
    TAttachedFile& Items(size_t index) { return *items_.at(index); }
    const TAttachedFile& Items(size_t index) const { return *items_.at(index); }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TAttachedFile>> items_;
};

enum class TPriority { prHighest, prHigh, prNormal, prLow, prLowest };
enum class TTextEncoding { te8Bit, teBase64 };

class TMoxMsg {
public:
    TMoxMsg();
    ~TMoxMsg();
    TMoxMsg(TMoxMsg&&) noexcept;
    TMoxMsg& operator=(TMoxMsg&&) noexcept;

    // Published properties, with their defaults. Texts are UTF-8.
    std::string UserName;
    std::string From;
    std::string ReplyTo;
    std::string SendTo;
    std::string CC;
    std::string BCC;
    std::string Subject;
    TStringList Text;
    TStringList ExtraHeaders;
    TPriority Priority = TPriority::prNormal;
    std::string CharSet = "ISO-8859-1";
    bool ClearRawMailAfterParse = false;
    TTextEncoding TextEncoding = TTextEncoding::te8Bit;
    // The code page of the store that holds the message, as a charset label ("windows-1251");
    // empty when unknown. Parse reads 8-bit text of no usable declared charset in it when the
    // message itself declares no charset fit for that, before asking the detector.
    std::string StoreCodePage;

    // Filled by Parse.
    TStringList RawMail;  // the raw lines, as the caller put them (see SetRawText)
    TStringList Headers;  // the lines of the header block
    std::string Sender;
    // To and Cc as the message writes them, encoded words decoded: for showing, where SendTo
    // and CC would repeat every bare address as its name.
    std::string ShownTo;
    std::string ShownCc;
    std::string MessageID;
    std::string InReplyTo;
    std::string ReturnPath;
    std::string Date;
    std::string ContentType = "TEXT/PLAIN";
    std::string ContentTransferEncoding = "7BIT";
    TAttachedFiles AttachedFiles;
    // The content type (lower case, without parameters) of every part that joined Text, in order.
    std::vector<std::string> TextTypes;
    // Where each of those parts stands: the index in Text of its first line, and the choice of a
    // multipart/alternative that it belongs to (Alternative 0 when none).
    struct TTextPart {
        size_t FirstLine = 0;
        size_t Alternative = 0;
        size_t Choice = 0;
    };
    std::vector<TTextPart> TextParts;
    // Damage in the content that Parse worked around (a TNEF attachment that cannot be
    // unpacked is kept as it is), one line each.
    std::vector<std::string> Warnings;

    // Reads the header fields and walks the body of the raw lines. Appends to Text, TextTypes
    // and AttachedFiles; a second call appends again. Header members are UTF-8.
    void Parse();

    // Makes a message's raw text the raw lines, keeping the text's own buffer (no copy, no
    // string per line). Every byte counts, a NUL too (text parts drop their NULs when
    // decoded); any line ends (CR LF, CR, LF) do.
    void SetRawText(std::string text);
    // The same for a file's bytes (mapped where the system allows), which the message keeps
    // open. Pages of the file that have been read are given back as the walk goes on, so that
    // a large message is not held in memory whole beside its decoded attachments.
    void SetRawFile(std::shared_ptr<const TByteSource> file);

private:
    void ParseHeaders(const TCharsetHints& hints);
};

}  // namespace brindle
