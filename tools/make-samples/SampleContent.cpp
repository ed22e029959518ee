#include "SampleContent.h"

#include "tests/support/Base64Encode.h"

#include <array>
#include <cstdio>

namespace brindle::samples {
namespace {

void AppendBigEndian32(std::string& out, uint32_t value) {
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>((value >> s) & 0xFF);
}

uint32_t Crc32(std::string_view bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes) crc = table[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(std::string_view bytes) {
    uint32_t a = 1, b = 0;
    for (char ch : bytes) {
        a = (a + static_cast<uint8_t>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

// A zlib stream that keeps the data in stored (uncompressed) deflate blocks.
std::string ZlibStored(std::string_view data) {
    std::string out = "\x78\x01";
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(data.size() - pos, 65535);
        bool last = pos + n == data.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(n & 0xFF);
        out += static_cast<char>(n >> 8);
        out += static_cast<char>(~n & 0xFF);
        out += static_cast<char>((~n >> 8) & 0xFF);
        out.append(data.substr(pos, n));
        pos += n;
    } while (pos < data.size());
    AppendBigEndian32(out, Adler32(data));
    return out;
}

void AppendPngChunk(std::string& png, std::string_view type, std::string_view data) {
    AppendBigEndian32(png, static_cast<uint32_t>(data.size()));
    std::string typed = std::string(type) + std::string(data);
    png += typed;
    AppendBigEndian32(png, Crc32(typed));
}

std::string Lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// Demo times: 2024-03-04 09:15:00 UTC and on, a few hours apart.
constexpr int64_t kDemoStart = 1709543700;

TSampleMessage Summary(std::string subject, std::string senderName, std::string senderAddress, uint32_t flags,
                       uint32_t priority, int hoursAfterStart, std::string messageID) {
    TSampleMessage m;
    m.subject = std::move(subject);
    m.senderName = std::move(senderName);
    m.senderAddress = std::move(senderAddress);
    m.receiverName = "Robin Demo";
    m.receiverAddress = "robin@demo.example";
    m.messageID = std::move(messageID);
    m.account = "Demo Mail";
    m.server = "pop.demo.example";
    m.flags = flags;
    m.priority = priority;
    m.receivedFileTime = FileTimeFromUnix(kDemoStart + hoursAfterStart * 3600LL);
    return m;
}

std::string CommonHeader(const TSampleMessage& m, std::string_view encodedSubject, std::string_view date) {
    std::string header =
        Lines({"From: \"" + m.senderName + "\" <" + m.senderAddress + ">",
               "To: \"" + m.receiverName + "\" <" + m.receiverAddress + ">", "Subject: " + std::string(encodedSubject),
               "Date: " + std::string(date), "Message-ID: " + m.messageID, "MIME-Version: 1.0"});
    if (m.priority == 1) header += Lines({"X-Priority: 1 (Highest)"});
    if (m.priority == 5) header += Lines({"X-Priority: 5 (Lowest)"});
    return header;
}

constexpr std::string_view kPdfLine = "Brindle demo: quarterly figures";

}  // namespace

std::string Base64Lines(std::string_view bytes) { return testsupport::Base64Lines(bytes, "\r\n"); }

std::string EncodedWord(std::string_view charset, std::string_view bytes) {
    return "=?" + std::string(charset) + "?B?" + testsupport::Base64Encode(bytes) + "?=";
}

uint64_t FileTimeFromUnix(int64_t seconds) { return static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL; }

std::string MakePng(uint32_t width, uint32_t height) {
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    AppendBigEndian32(header, width);
    AppendBigEndian32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits per sample, RGB, no interlace
    AppendPngChunk(png, "IHDR", header);
    std::string pixels;
    for (uint32_t y = 0; y < height; ++y) {
        pixels += '\0';  // filter: none
        for (uint32_t x = 0; x < width; ++x) {
            pixels += static_cast<char>(x * 255 / (width > 1 ? width - 1 : 1));
            pixels += static_cast<char>(y * 255 / (height > 1 ? height - 1 : 1));
            pixels += static_cast<char>(160);
        }
    }
    AppendPngChunk(png, "IDAT", ZlibStored(pixels));
    AppendPngChunk(png, "IEND", "");
    return png;
}

std::string MakePdf(std::string_view line) {
    std::string stream = "BT /F1 18 Tf 72 720 Td (" + std::string(line) + ") Tj ET\n";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(stream.size()) + " >>\nstream\n" + stream + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < std::size(objects); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::vector<TSampleMessage> DemoMessages() {
    std::vector<TSampleMessage> messages;

    // Latin-1 subject; plain text; read.
    {
        TSampleMessage m = Summary(
            "Gr\xFC\xDF"
            "e aus M\xFC"
            "nchen",
            "Anna Berger", "anna.berger@demo.example", 0x80, 3, 0, "<demo-1@demo.example>");
        m.rawText = CommonHeader(m,
                                 EncodedWord("ISO-8859-1",
                                             "Gr\xFC\xDF"
                                             "e aus M\xFC"
                                             "nchen"),
                                 "Mon, 04 Mar 2024 10:15:00 +0100") +
                    Lines({"Content-Type: text/plain; charset=ISO-8859-1", "Content-Transfer-Encoding: 8bit", "",
                           "Hallo Robin,", "",
                           "viele Gr\xFC\xDF"
                           "e aus M\xFCnchen! Das Wetter ist sch\xF6n, der Kaffee hei\xDF.",
                           "", "Anna"});
        messages.push_back(m);
    }
    // UTF-8 subject with an emoji, which the Windows-1252 summary lost ("?" in its place);
    // plain and HTML alternatives; unread, high priority.
    {
        TSampleMessage m =
            Summary("Caf\xE9 ?? um drei?", "Jonas Weber", "jonas@demo.example", 0x00, 1, 3, "<demo-2@demo.example>");
        m.rawText = CommonHeader(m, EncodedWord("UTF-8", "Caf\xC3\xA9 \xF0\x9F\x8D\xB0 um drei?"),
                                 "Mon, 04 Mar 2024 13:15:00 +0100") +
                    Lines({"Content-Type: multipart/alternative; boundary=\"=_alt_demo2\"", "", "--=_alt_demo2",
                           "Content-Type: text/plain; charset=UTF-8", "Content-Transfer-Encoding: quoted-printable", "",
                           "Treffen wir uns um drei im Caf=C3=A9? =F0=9F=8D=B0", "", "Jonas", "--=_alt_demo2",
                           "Content-Type: text/html; charset=UTF-8", "Content-Transfer-Encoding: quoted-printable", "",
                           "<html><body><p>Treffen wir uns um <b>drei</b> im Caf=C3=A9? =F0=9F=8D=B0</p>",
                           "<p style=3D\"color:#805020\">Jonas</p></body></html>", "--=_alt_demo2--"});
        messages.push_back(m);
    }
    // KOI8-R subject; low priority, flagged, read.
    {
        std::string koi8 = "\xF0\xD2\xC9\xD7\xC5\xD4 \xC9\xDA \xED\xCF\xD3\xCB\xD7\xD9";
        TSampleMessage m = Summary(
            "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xB8\xD0\xB7 "
            "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD1\x8B",
            "Ivan Petrov", "ivan@demo.example", 0xA0, 5, 7, "<demo-3@demo.example>");
        m.rawText = CommonHeader(m, EncodedWord("KOI8-R", koi8), "Mon, 04 Mar 2024 20:15:00 +0300") +
                    Lines({"Content-Type: text/plain; charset=KOI8-R", "Content-Transfer-Encoding: 8bit", "",
                           koi8 + "!", "", "Ivan"});
        messages.push_back(m);
    }
    // ISO-2022-JP subject; read.
    {
        std::string jis = "\x1B$BF|K\\8l$N$*CN$i$;\x1B(B";
        TSampleMessage m = Summary(
            "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE3\x81\x8A\xE7\x9F\xA5\xE3\x82"
            "\x89\xE3\x81\x9B",
            "Yuki Tanaka", "yuki@demo.example", 0x80, 3, 12, "<demo-4@demo.example>");
        m.rawText = CommonHeader(m, EncodedWord("ISO-2022-JP", jis), "Tue, 05 Mar 2024 06:15:00 +0900") +
                    Lines({"Content-Type: text/plain; charset=ISO-2022-JP", "Content-Transfer-Encoding: 7bit", "", jis,
                           "", "Yuki"});
        messages.push_back(m);
    }
    // PNG attachment; flagged, attachment flag, unread.
    {
        TSampleMessage m = Summary("Holiday picture", "Anna Berger", "anna.berger@demo.example", 0x4020, 3, 26,
                                   "<demo-5@demo.example>");
        m.rawText =
            CommonHeader(m, "Holiday picture", "Tue, 05 Mar 2024 12:15:00 +0100") +
            Lines({"Content-Type: multipart/mixed; boundary=\"=_mix_demo5\"", "", "--=_mix_demo5",
                   "Content-Type: text/plain; charset=US-ASCII", "", "A small picture from the lake.", "", "Anna",
                   "--=_mix_demo5", "Content-Type: image/png; name=\"lake.png\"", "Content-Transfer-Encoding: base64",
                   "Content-Disposition: attachment; filename=\"lake.png\"", ""}) +
            Base64Lines(MakePng(32, 24)) + Lines({"--=_mix_demo5--"});
        messages.push_back(m);
    }
    // PDF attachment; high priority, attachment flag, read.
    {
        TSampleMessage m = Summary("Quarterly figures (PDF)", "Finance Team", "finance@demo.example", 0x4080, 1, 30,
                                   "<demo-6@demo.example>");
        m.rawText = CommonHeader(m, "Quarterly figures (PDF)", "Tue, 05 Mar 2024 15:15:00 +0000") +
                    Lines({"Content-Type: multipart/mixed; boundary=\"=_mix_demo6\"", "", "--=_mix_demo6",
                           "Content-Type: text/html; charset=US-ASCII", "",
                           "<html><body><h2>Quarterly figures</h2><p>Please find the report attached.</p>"
                           "</body></html>",
                           "--=_mix_demo6", "Content-Type: application/pdf; name=\"figures.pdf\"",
                           "Content-Transfer-Encoding: base64",
                           "Content-Disposition: attachment; filename=\"figures.pdf\"", ""}) +
                    Base64Lines(MakePdf(kPdfLine)) + Lines({"--=_mix_demo6--"});
        messages.push_back(m);
    }
    // HTML with an inline picture; read.
    {
        TSampleMessage m = Summary("Newsletter: spring colours", "Garden Club", "news@garden.example", 0x80, 3, 50,
                                   "<demo-7@demo.example>");
        m.rawText =
            CommonHeader(m, "Newsletter: spring colours", "Wed, 06 Mar 2024 11:15:00 +0000") +
            Lines({"Content-Type: multipart/related; boundary=\"=_rel_demo7\"; type=\"text/html\"", "", "--=_rel_demo7",
                   "Content-Type: text/html; charset=US-ASCII", "", "<html><body><h1>Spring colours</h1>",
                   "<p><img src=\"cid:swatch@garden.example\" alt=\"swatch\"> Our colour of the month.</p>",
                   "</body></html>", "--=_rel_demo7", "Content-Type: image/png", "Content-Transfer-Encoding: base64",
                   "Content-ID: <swatch@garden.example>", "Content-Disposition: inline", ""}) +
            Base64Lines(MakePng(48, 16)) + Lines({"--=_rel_demo7--"});
        messages.push_back(m);
    }
    // Windows-1252 subject in the summary and the header; unread.
    {
        TSampleMessage m = Summary("Men\xFC \x96 today\x92s specials \x80 5", "Kantine", "kantine@demo.example", 0x00,
                                   3, 55, "<demo-8@demo.example>");
        m.rawText =
            CommonHeader(m,
                         "=?windows-1252?Q?Men=FC_=96_today=92s_specials_=80_5?=", "Wed, 06 Mar 2024 16:15:00 +0100") +
            Lines({"Content-Type: text/plain; charset=windows-1252", "Content-Transfer-Encoding: 8bit", "",
                   "Soup \x96 3 \x80, salad \x96 4 \x80.", "", "Bon app\xE9tit!"});
        messages.push_back(m);
    }
    return messages;
}

std::string WelcomeMessage() {
    return Lines({"From: \"Brindle\" <welcome@brindle.example>",
                  "To: \"Robin Demo\" <robin@demo.example>",
                  "Subject: " + EncodedWord("UTF-8", "Welcome to Brindle \xE2\x9C\x89"),
                  "Date: Mon, 04 Mar 2024 09:00:00 +0000",
                  "Message-ID: <welcome@brindle.example>",
                  "MIME-Version: 1.0",
                  "Content-Type: multipart/mixed; boundary=\"=_mix_welcome\"",
                  "",
                  "--=_mix_welcome",
                  "Content-Type: multipart/alternative; boundary=\"=_alt_welcome\"",
                  "",
                  "--=_alt_welcome",
                  "Content-Type: text/plain; charset=UTF-8",
                  "Content-Transfer-Encoding: 8bit",
                  "",
                  "Welcome to Brindle!",
                  "",
                  "Brindle opens .dbx and .mbx mail folders and single .eml messages like this one.",
                  "It only reads them; it never changes them.",
                  "",
                  "--=_alt_welcome",
                  "Content-Type: text/html; charset=UTF-8",
                  "Content-Transfer-Encoding: 8bit",
                  "",
                  "<html><body><h1>Welcome to Brindle!</h1>",
                  "<p>Brindle opens <b>.dbx</b> and <b>.mbx</b> mail folders and single <b>.eml</b> messages "
                  "like this one.</p>",
                  "<p>It only reads them; it never changes them.</p></body></html>",
                  "--=_alt_welcome--",
                  "--=_mix_welcome",
                  "Content-Type: image/png; name=\"brindle.png\"",
                  "Content-Transfer-Encoding: base64",
                  "Content-Disposition: attachment; filename=\"brindle.png\"",
                  ""}) +
           Base64Lines(MakePng(16, 16)) + Lines({"--=_mix_welcome--"});
}

TSampleMessage BenchMessage(uint32_t index) {
    bool large = index % 10 == 9;
    std::string number = std::to_string(index);
    TSampleMessage m =
        Summary("Benchmark message " + number + (large ? " with attachment" : ""),
                "Sender " + std::to_string(index % 97), "sender" + std::to_string(index % 97) + "@bench.example",
                (index % 3 == 0 ? 0x80u : 0u) | (large ? 0x4000u : 0u), index % 7 == 0 ? 1 : 3,
                static_cast<int>(index % 5000), "<bench-" + number + "@bench.example>");
    m.receivedFileTime = FileTimeFromUnix(kDemoStart + index * 60LL);
    std::string header = CommonHeader(m, m.subject, "Mon, 04 Mar 2024 10:15:00 +0100");
    std::string paragraph =
        "Line of benchmark text for message " + number + ": the quick brown fox jumps over the lazy dog.\r\n";
    std::string body;
    if (!large) {
        header += Lines({"Content-Type: text/plain; charset=US-ASCII"});
        while (header.size() + 2 + body.size() < 2048) body += paragraph;
        m.rawText = header + "\r\n" + body;
        return m;
    }
    header += Lines({"Content-Type: multipart/mixed; boundary=\"=_bench\""});
    std::string data(150 * 1024, '\0');
    uint32_t seed = index * 2654435761u;
    for (char& c : data) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    body = Lines({"--=_bench", "Content-Type: text/plain; charset=US-ASCII", ""}) + paragraph +
           Lines({"--=_bench", "Content-Type: application/octet-stream; name=\"data" + number + ".bin\"",
                  "Content-Transfer-Encoding: base64", ""}) +
           Base64Lines(data) + Lines({"--=_bench--"});
    m.rawText = header + "\r\n" + body;
    return m;
}

}  // namespace brindle::samples
