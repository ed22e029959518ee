// Renders the three tabs of the message viewer for a demo message (or for a message file
// given as the second argument) to PNG files: PREFIX-general.png, PREFIX-html.png and
// PREFIX-source.png. Usage: brindle-viewer-shots PREFIX [MESSAGE.eml]
#include "viewer/HTMLViewer.h"
#include "viewer/MsgDlg.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTabWidget>

#include <cstdio>
#include <string>

using namespace brindle;

namespace {

// A small bar chart, the inline image of the demo message.
std::string ChartPng() {
    QImage image(240, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const int heights[] = {40, 70, 55, 95, 80};
    for (int i = 0; i < 5; ++i)
        painter.fillRect(20 + i * 44, 110 - heights[i], 32, heights[i], QColor(40, 100 + i * 25, 200));
    painter.setPen(Qt::gray);
    painter.drawLine(10, 110, 230, 110);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toBase64().toStdString();
}

std::string Wrapped(const std::string& base64) {
    std::string out;
    for (size_t at = 0; at < base64.size(); at += 76) out += base64.substr(at, 76) + "\r\n";
    return out;
}

std::string DemoMessage() {
    const std::string html =
        "<html><body>\r\n"
        "<h2>Harbour survey, second quarter</h2>\r\n"
        "<p>Dear crew,</p>\r\n"
        "<p>the <b>landing counts</b> are up again; the chart below shows the five weeks since the new pier\r\n"
        "opened. Details are in the attached table and on the\r\n"
        "<a href=\"https://harbour.example.org/survey\" title=\"Survey pages\">survey pages</a>.</p>\r\n"
        "<p><img src=\"cid:chart.0715@harbour.example.org\"></p>\r\n"
        "<table border=\"1\" cellpadding=\"4\">\r\n"
        "<tr><td bgcolor=\"#dde8ff\">Week</td><td bgcolor=\"#dde8ff\">Landings</td></tr>\r\n"
        "<tr><td>27</td><td align=\"right\">412</td></tr>\r\n"
        "<tr><td>28</td><td align=\"right\">538</td></tr>\r\n"
        "</table>\r\n"
        "<p>Kind regards,<br>Maren</p>\r\n"
        "</body></html>";
    std::string raw =
        "From: Maren Holt <maren.holt@harbour.example.org>\r\n"
        "To: crew@harbour.example.org\r\n"
        "Subject: Harbour survey, second quarter\r\n"
        "Date: Fri, 12 Jul 2002 16:42:10 +0200\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
        "--outer\r\n"
        "Content-Type: multipart/related; boundary=\"inner\"\r\n\r\n"
        "--inner\r\n"
        "Content-Type: text/html; charset=us-ascii\r\n\r\n" +
        html +
        "\r\n"
        "--inner\r\n"
        "Content-Type: image/png; name=\"chart.png\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-ID: <chart.0715@harbour.example.org>\r\n\r\n" +
        Wrapped(ChartPng()) +
        "--inner--\r\n"
        "--outer\r\n"
        "Content-Type: application/vnd.ms-excel; name=\"landings.xls\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"landings.xls\"\r\n\r\n" +
        Wrapped(QByteArray("week;landings\r\n27;412\r\n28;538\r\n29;497\r\n30;611\r\n31;580\r\n")
                    .toBase64()
                    .toStdString()) +
        "--outer--\r\n";
    return raw;
}

std::string ReadMessage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll().toStdString();
}

bool SaveTab(Tdlg_oe_Msg& dialog, int tab, const QString& fileName) {
    dialog.pc->setCurrentIndex(tab);
    QApplication::processEvents();
    const bool written = dialog.grab().save(fileName);
    std::printf("%s\n", qPrintable(fileName));
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "Usage: brindle-viewer-shots PREFIX [MESSAGE.eml]\n");
        return 2;
    }
    const QString prefix = arguments[1];
    Tdlg_oe_Msg dialog;
    dialog.LoadMessage(arguments.size() > 2 ? ReadMessage(arguments[2]) : DemoMessage());
    dialog.show();
    QApplication::processEvents();
    if (dialog.List->count() > 0) dialog.List->item(0)->setSelected(true);
    bool written = SaveTab(dialog, 0, prefix + QStringLiteral("-general.png"));
    dialog.HTMLViewerHotSpotCovered(dialog.HTMLViewer, QStringLiteral("https://harbour.example.org/survey"));
    written = SaveTab(dialog, 1, prefix + QStringLiteral("-html.png")) && written;
    written = SaveTab(dialog, 2, prefix + QStringLiteral("-source.png")) && written;
    return written ? 0 : 1;
}
