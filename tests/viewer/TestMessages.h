#pragma once
// Raw messages for the viewer tests, a store of them to take message handles from, and a way
// to look at the viewer while it would be shown.
#include "mailbox/MailboxSession.h"
#include "store/OEReader.h"

#include <QByteArray>
#include <QColor>
#include <QSize>

#include <QThread>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {
class Tdlg_oe_Msg;
}

namespace brindle::test {

// The text with every LF made CR LF.
std::string Crlf(std::string_view text);

// The data in base64, 76 characters a line, each line ended by CR LF.
std::string Base64Lines(std::string_view data);

struct TPart {
    std::string headers;  // header lines, each ended by LF
    std::string body;     // LF line ends; made CR LF
};

// A message with the given header lines (LF line ends) and body parts joined by a boundary.
std::string Multipart(std::string_view headers, std::string_view subtype, const std::vector<TPart>& parts);

// A simple message whose body is of the given content type.
std::string SinglePart(std::string_view headers, std::string_view contentType, std::string_view body);

// An attachment part carrying the data in base64.
TPart Base64Attachment(std::string_view mediaType, std::string_view fileName, std::string_view data,
                       std::string_view contentId = {});

// A PNG image of one colour.
std::string PngImage(QSize size, QColor color);

// A store reader over texts held in memory; it notes which texts were read, and on what thread.
class TTextReader : public TOEReader {
public:
    explicit TTextReader(std::vector<std::string> texts);
    int32_t GetMessageCount() override { return static_cast<int32_t>(texts_.size()); }
    TMessageInfo GetMessageInfo(int32_t) const override { return {}; }
    std::string GetMessageHeader(int32_t index) override;
    std::string GetMessageText(int32_t index) override;

    std::vector<int32_t> Reads;
    Qt::HANDLE ReadThread = nullptr;

private:
    std::vector<std::string> texts_;
};

// A session whose store holds the texts as messages of its index.
class TTextSession {
public:
    explicit TTextSession(std::vector<std::string> texts = {});
    TMessageHandle Indexed(size_t i) const { return Session.Indexed(static_cast<int32_t>(i)); }
    // Messages as a scan would find them: each record with its text.
    void SetFound(const std::vector<std::pair<TFoundMessage, std::string>>& found);
    TMessageHandle Recovered(size_t i) const { return Session.Recovered(i); }

    TMailboxSession Session;
    TTextReader* Reader = nullptr;  // the session's
};

// Runs ShowMessageView on the raw text; inspect sees the dialog at the point where it would
// run modally. Returns whether the dialog got that far.
bool WithViewer(const std::string& rawText, const std::function<void(Tdlg_oe_Msg&)>& inspect);

}  // namespace brindle::test
