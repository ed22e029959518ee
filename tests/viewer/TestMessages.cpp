#include "TestMessages.h"

#include "platform/HeaderBlock.h"
#include "viewer/MessageView.h"
#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

#include <QBuffer>
#include <QImage>

namespace brindle::test {

std::string Crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string Base64Lines(std::string_view data) {
    const QByteArray encoded = QByteArray(data.data(), static_cast<qsizetype>(data.size())).toBase64();
    std::string out;
    for (qsizetype at = 0; at < encoded.size(); at += 76) out += encoded.mid(at, 76).toStdString() + "\r\n";
    return out;
}

std::string Multipart(std::string_view headers, std::string_view subtype, const std::vector<TPart>& parts) {
    const std::string boundary = "=_part_boundary_42";
    std::string raw = Crlf(headers);
    raw += "MIME-Version: 1.0\r\nContent-Type: multipart/" + std::string(subtype) + "; boundary=\"" + boundary +
           "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n";
    for (const TPart& part : parts) raw += "\r\n--" + boundary + "\r\n" + Crlf(part.headers) + "\r\n" + Crlf(part.body);
    raw += "\r\n--" + boundary + "--\r\n";
    return raw;
}

std::string SinglePart(std::string_view headers, std::string_view contentType, std::string_view body) {
    return Crlf(headers) + "Content-Type: " + std::string(contentType) + "\r\n\r\n" + Crlf(body);
}

TPart Base64Attachment(std::string_view mediaType, std::string_view fileName, std::string_view data,
                       std::string_view contentId) {
    TPart part;
    part.headers = "Content-Type: " + std::string(mediaType) + "; name=\"" + std::string(fileName) +
                   "\"\nContent-Transfer-Encoding: base64\n";
    if (contentId.empty())
        part.headers += "Content-Disposition: attachment; filename=\"" + std::string(fileName) + "\"\n";
    else
        part.headers += "Content-ID: <" + std::string(contentId) + ">\n";
    std::string encoded = Base64Lines(data);
    for (size_t at = encoded.find('\r'); at != std::string::npos; at = encoded.find('\r', at)) encoded.erase(at, 1);
    part.body = encoded;
    return part;
}

std::string PngImage(QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

TTextReader::TTextReader(std::vector<std::string> texts) : texts_(std::move(texts)) {
    loaded_ = true;
    fileKind_ = kFileKindOE5;
}

std::string TTextReader::GetMessageHeader(int32_t index) {
    return std::string(HeaderBlockOf(texts_.at(static_cast<size_t>(index))));
}

std::string TTextReader::GetMessageText(int32_t index) {
    Reads.push_back(index);
    ReadThread = QThread::currentThreadId();
    return texts_.at(static_cast<size_t>(index));
}

TTextSession::TTextSession(std::vector<std::string> texts) {
    auto reader = std::make_unique<TTextReader>(std::move(texts));
    Reader = reader.get();
    Session.AdoptReader(std::move(reader));
}

void TTextSession::SetFound(const std::vector<std::pair<TFoundMessage, std::string>>& found) {
    TFoundSet set;
    for (const auto& [record, text] : found) {
        set.Records.push_back({record, {}});
        set.Texts.push_back(text);
    }
    Session.AdoptFound(std::move(set), false);
}

bool WithViewer(const std::string& rawText, const std::function<void(Tdlg_oe_Msg&)>& inspect) {
    bool reached = false;
    const auto previous = ViewerHooks().RunModal;
    ViewerHooks().RunModal = [&](QDialog& dialog) {
        reached = true;
        inspect(dynamic_cast<Tdlg_oe_Msg&>(dialog));
    };
    try {
        ShowMessageView(TMessageHandle::OfText(rawText));
    } catch (...) {
        ViewerHooks().RunModal = previous;
        throw;
    }
    ViewerHooks().RunModal = previous;
    return reached;
}

}  // namespace brindle::test
