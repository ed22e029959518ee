// Times the message viewer: opening it on a message with a 1 MB HTML body, on one with a
// 20 MB attachment and on 10 MB plain texts of LF-only and of lone-CR lines (of 20 to 80 and
// of 0 to 9 characters), from
// ShowMessageView to the dialog shown, and printing 50 pages to PDF.
// Without arguments every case runs in this process, best of kRounds. With one case name it
// runs that case once, so that bench/viewer/run.sh can give each case its own process and
// peak memory; the parse-* cases parse the message object alone, without any viewer, and the
// idle case only starts the application.
// Runs on the offscreen platform unless another one is chosen.
#include "mime/MoxMsg.h"
#include "platform/StringList.h"
#include "viewer/HTMLViewer.h"
#include "viewer/MessageView.h"
#include "viewer/MsgDlg.h"
#include "viewer/ViewerHooks.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPrinter>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>

using namespace brindle;

namespace {

int kRounds = 3;
constexpr size_t kPlainTextBytes = 10u << 20;

std::string Headers(const std::string& subject, const std::string& contentType) {
    return "From: Bench Sender <bench@example.com>\r\nTo: reader@example.com\r\nSubject: " + subject +
           "\r\nDate: Mon, 2 Sep 2024 12:00:00 +0000\r\nMIME-Version: 1.0\r\nContent-Type: " + contentType + "\r\n\r\n";
}

std::string HtmlBody(size_t bytes) {
    std::string html = "<html><body>\r\n";
    for (int i = 0; html.size() < bytes; ++i) {
        html += "<p>Paragraph " + std::to_string(i) +
                " with <b>bold</b>, <i>italic</i> and <a href=\"http://example.com/" + std::to_string(i) +
                "\">a link</a>; the quick brown fox jumps over the lazy dog again and again.</p>\r\n";
        if (i % 20 == 0)
            html += "<table border=1><tr><td bgcolor=\"#e0e0ff\">cell one</td><td>cell two</td></tr></table>\r\n";
    }
    return html + "</body></html>\r\n";
}

std::string Base64Lines(size_t bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::mt19937 random(42);
    std::string out;
    const size_t chars = (bytes + 2) / 3 * 4;
    out.reserve(chars + chars / 76 * 2 + 2);
    for (size_t i = 0; i < chars; ++i) {
        out += kAlphabet[random() % 64];
        if (i % 76 == 75) out += "\r\n";
    }
    return out + "\r\n";
}

std::string AttachmentMessage(size_t bytes) {
    return Headers("Big attachment", "multipart/mixed; boundary=\"b\"") +
           "--b\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n"
           "--b\r\nContent-Type: application/octet-stream; name=\"big.bin\"\r\n"
           "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"big.bin\"\r\n\r\n" +
           Base64Lines(bytes) + "--b--\r\n";
}

// A plain-text message whose body lines of shortest to longest characters end with the given
// line end alone, header lines included.
std::string PlainLinesMessage(size_t bytes, const std::string& lineEnd, size_t shortest, size_t longest) {
    std::string raw = "From: Bench Sender <bench@example.com>" + lineEnd + "Subject: Plain lines" + lineEnd +
                      "Date: Mon, 2 Sep 2024 12:00:00 +0000" + lineEnd + "Content-Type: text/plain" + lineEnd + lineEnd;
    raw.reserve(bytes + 128);
    std::mt19937 random(7);
    for (int i = 0; raw.size() < bytes; ++i) {
        std::string line = "Line " + std::to_string(i) + " of the plain text:";
        const size_t length = shortest + random() % (longest - shortest + 1);
        while (line.size() < length) line += " word";
        raw += line.substr(0, length) + lineEnd;
    }
    return raw;
}

void ShowAndPaint(QDialog& dialog) {
    dialog.show();
    while (!dialog.windowHandle() || !dialog.windowHandle()->isExposed()) QCoreApplication::processEvents();
    dialog.repaint();
    QCoreApplication::processEvents();
}

double BestOpenSeconds(const std::string& raw) {
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        double seconds = 0;
        ViewerHooks().RunModal = [&](QDialog& dialog) {
            ShowAndPaint(dialog);
            seconds = timer.nsecsElapsed() / 1e9;
        };
        timer.start();
        ShowMessageView(TMessageHandle::OfText(raw));
        best = std::min(best, seconds);
    }
    return best;
}

void BenchPrint(const QString& folder) {
    std::string html = "<html><body>\r\n";
    for (int i = 0; i < 2400; ++i)
        html += "<p>Printed paragraph " + std::to_string(i) + " of the long message.</p>\r\n";
    html += "</body></html>\r\n";
    Tdlg_oe_Msg dialog;
    dialog.LoadMessage(Headers("Print bench", "text/html") + html);
    double best = 1e9;
    int pages = 0;
    for (int round = 0; round < kRounds; ++round) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setOutputFileName(folder + QStringLiteral("/bench.pdf"));
        QElapsedTimer timer;
        timer.start();
        pages = dialog.PrintPages(printer, 1, 50);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    std::printf("print %d pages to PDF:                 %.3f s (target < 3 s)\n", pages, best);
}

// The message object alone, as the viewer builds it.
double ParseSeconds(const std::string& raw) {
    QElapsedTimer timer;
    timer.start();
    TMoxMsg message;
    message.RawMail = SplitLines(raw);
    message.Parse();
    return timer.nsecsElapsed() / 1e9;
}

struct TCase {
    const char* name;
    const char* title;
    std::function<std::string()> message;
};

const std::vector<TCase>& Cases() {
    static const std::vector<TCase> cases = {
        {"html", "1 MB HTML body", [] { return Headers("Big HTML", "text/html; charset=utf-8") + HtmlBody(1 << 20); }},
        {"attachment", "20 MB attachment", [] { return AttachmentMessage(20u << 20); }},
        {"lf", "10 MB of LF lines", [] { return PlainLinesMessage(kPlainTextBytes, "\n", 20, 80); }},
        {"cr", "10 MB of lone-CR lines", [] { return PlainLinesMessage(kPlainTextBytes, "\r", 20, 80); }},
        {"lf-short", "10 MB of short LF lines", [] { return PlainLinesMessage(kPlainTextBytes, "\n", 0, 9); }},
        {"cr-short", "10 MB of short lone-CR lines", [] { return PlainLinesMessage(kPlainTextBytes, "\r", 0, 9); }},
    };
    return cases;
}

int RunCase(const std::string& name, const QString& folder) {
    if (name == "idle") {
        std::printf("idle: 0 s\n");
        return 0;
    }
    if (name == "print") {
        BenchPrint(folder);
        return 0;
    }
    for (const TCase& c : Cases()) {
        if (name == std::string("open-") + c.name) {
            const std::string raw = c.message();
            std::printf("open %s (%zu bytes raw): %.3f s\n", c.title, raw.size(), BestOpenSeconds(raw));
            return 0;
        }
        if (name == std::string("parse-") + c.name) {
            const std::string raw = c.message();
            std::printf("parse %s (%zu bytes raw): %.3f s\n", c.title, raw.size(), ParseSeconds(raw));
            return 0;
        }
    }
    std::fprintf(
        stderr,
        "unknown case %s: open-NAME or parse-NAME (NAME html, attachment, lf, cr, lf-short, cr-short), idle, print\n",
        name.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    if (argc > 1) {
        kRounds = 1;
        return RunCase(argv[1], folder.path());
    }
    for (const TCase& c : Cases()) {
        const std::string raw = c.message();
        std::printf("open %-24s (%9zu bytes raw): %.3f s\n", c.title, raw.size(), BestOpenSeconds(raw));
    }
    BenchPrint(folder.path());
    return 0;
}
