#pragma once
// Raw messages for the viewer tests, and a way to look at the viewer while it would be shown.
#include <QByteArray>
#include <QColor>
#include <QSize>

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

// Runs ShowMessageView on the raw text; inspect sees the dialog at the point where it would
// run modally. Returns whether the dialog got that far.
bool WithViewer(const std::string& rawText, const std::function<void(Tdlg_oe_Msg&)>& inspect);

}  // namespace brindle::test
