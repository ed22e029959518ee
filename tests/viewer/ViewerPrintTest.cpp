// Printing the HTML view to PDF files, checked with poppler's pdftotext and pdftoppm.
#include "TestMessages.h"

#include "components/DefaultHandler.h"
#include "viewer/HTMLViewer.h"
#include "viewer/MsgDlg.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"

#include <QImage>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace brindle;
using namespace brindle::test;

namespace {

constexpr double kPointsPerCm = 72 / 2.54;
const QSizeF kA4Points(595.276, 841.89);

std::string ReportMessage(bool withDate, int lines) {
    std::string headers = "From: Carol Reporter <carol@example.com>\nSubject: Long report\n";
    if (withDate) headers += "Date: Wed, 4 Sep 2024 08:00:00 +0000\n";
    std::string body;
    for (int i = 1; i <= lines; ++i) body += "Line " + std::to_string(i) + " of the report\n";
    return SinglePart(headers, "text/plain", body);
}

void UsePdf(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

QString Run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of each page, in layout.
QStringList PageTexts(const QString& pdf) {
    QStringList pages = Run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

struct TWordBox {
    QString text;
    QRectF box;
};

// The words of the first page with their boxes, in points from the paper's top-left corner.
QList<TWordBox> FirstPageWords(const QString& pdf) {
    const QString xhtml =
        Run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                                          QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<TWordBox> words;
    for (auto it = word.globalMatch(xhtml); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                               QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

int CountPixels(const QImage& image, const std::function<bool(QColor)>& match) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixelColor(x, y))) ++count;
    return count;
}

// The first page as an image of 30 pixels per inch; prefix names the image file without its extension.
QImage FirstPageImage(const QString& pdf, const QString& prefix) {
    Run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QStringLiteral("30"), QStringLiteral("-png"), QStringLiteral("-f"), QStringLiteral("1"),
         QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

bool IsRed(QColor c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; }
bool IsGreen(QColor c) { return c.green() > 100 && c.red() < 80 && c.blue() < 80; }

}  // namespace

class ViewerPrintTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString pdf_;
    int printDialogs_ = 0;

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("poppler-utils (pdftotext, pdftoppm) is not installed");
        QVERIFY(dir_.isValid());
        SetMessageBoxPresenter([](QWidget*, const QString&, const QString& text) { QFAIL(qPrintable(text)); });
    }

    void init() {
        static int round = 0;
        pdf_ = dir_.filePath(QStringLiteral("print%1.pdf").arg(++round));
        printDialogs_ = 0;
    }

    void cleanupTestCase() {
        ResetViewerHooks();
        SetMessageBoxPresenter(nullptr);
    }

    void everyPageCarriesSenderSubjectDateAndPageNumber() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 300));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        const int printed = dialog.PrintPages(printer, 1, 9999);
        QVERIFY2(printed >= 3, qPrintable(QString::number(printed)));
        const QStringList pages = PageTexts(pdf_);
        QCOMPARE(pages.size(), printed);
        static const QRegularExpression pageNumber(QStringLiteral("Page: (\\d+)"));
        for (int i = 0; i < pages.size(); ++i) {
            const QString& page = pages[i];
            QVERIFY2(page.contains(QStringLiteral("Sender: Carol Reporter <carol@example.com>")), qPrintable(page));
            QVERIFY2(page.contains(QStringLiteral("Subject: Long report")), qPrintable(page));
            QVERIFY2(page.contains(QStringLiteral("Date: Wed, 4 Sep 2024 08:00:00 +0000")), qPrintable(page));
            const auto number = pageNumber.match(page);
            QVERIFY(number.hasMatch());
            QCOMPARE(number.captured(1).toInt(), i + 1);
        }
        QVERIFY(pages[2].contains(QStringLiteral("Page: 3")));
        const QString all = pages.join(QLatin1Char('\n'));
        for (int line = 1; line <= 300; ++line) {
            const QString text = QStringLiteral("Line %1 of the report").arg(line);
            QCOMPARE(all.count(text), 1);
        }
    }

    // A plain text above the size limit prints from the HTML View's text control, row by row.
    void largePlainTextPrintsEveryLineOnceOnPagesWithHeaderAndFooter() {
        constexpr int kLines = 4000;
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, kLines));
        QCOMPARE(dialog.HTMLText->LineCount(), size_t{kLines});
        QVERIFY(dialog.HTMLViewer->toPlainText().isEmpty());
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        const int printed = dialog.PrintPages(printer, 1, 9999);
        QVERIFY2(printed > 10, qPrintable(QString::number(printed)));
        const QStringList pages = PageTexts(pdf_);
        QCOMPARE(pages.size(), printed);
        static const QRegularExpression line(QStringLiteral("Line (\\d+) of the report"));
        int expected = 1;
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY2(pages[i].contains(QStringLiteral("Sender: Carol Reporter <carol@example.com>")),
                     qPrintable(pages[i]));
            QVERIFY2(pages[i].contains(QStringLiteral("Date: Wed, 4 Sep 2024 08:00:00 +0000")), qPrintable(pages[i]));
            QVERIFY2(pages[i].contains(QStringLiteral("Page: %1").arg(i + 1)), qPrintable(pages[i]));
            for (auto it = line.globalMatch(pages[i]); it.hasNext(); ++expected)
                QCOMPARE(it.next().captured(1).toInt(), expected);
        }
        QCOMPARE(expected, kLines + 1);
    }

    void largePlainTextPrintsTheChosenPagesOnly() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 4000));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        QCOMPARE(dialog.PrintPages(printer, 2, 3), 2);
        const QStringList pages = PageTexts(pdf_);
        QCOMPARE(pages.size(), 2);
        QVERIFY2(pages[0].contains(QStringLiteral("Page: 2")), qPrintable(pages[0]));
        QVERIFY2(pages[1].contains(QStringLiteral("Page: 3")), qPrintable(pages[1]));
        QVERIFY(!pages[0].contains(QStringLiteral("Line 1 of the report")));
        QPrinter beyond(QPrinter::HighResolution);
        UsePdf(beyond, pdf_ + QStringLiteral(".beyond.pdf"));
        QCOMPARE(dialog.PrintPages(beyond, 5000, 9999), 0);
    }

    void messageWithoutDatePrintsTheLabelAlone() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(false, 5));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        QCOMPARE(dialog.PrintPages(printer, 1, 9999), 1);
        const QStringList pages = PageTexts(pdf_);
        QCOMPARE(pages.size(), 1);
        static const QRegularExpression dateAlone(QStringLiteral("^\\s*Date:\\s+Page: 1\\s*$"),
                                                  QRegularExpression::MultilineOption);
        QVERIFY2(dateAlone.match(pages[0]).hasMatch(), qPrintable(pages[0]));
    }

    void headerAndFooterSitAtTheirReferencePoints() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 5));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        QCOMPARE(dialog.PrintPages(printer, 1, 1), 1);
        const double unit = 72.0 / THTMLViewer::ScreenDpi();
        const double topMargin = 2 * kPointsPerCm;
        const double footerTop = kA4Points.height() - 2 * kPointsPerCm;
        const QList<TWordBox> words = FirstPageWords(pdf_);
        auto find = [&](const QString& text) {
            for (const TWordBox& word : words)
                if (word.text == text) return word.box;
            return QRectF();
        };
        const QRectF sender = find(QStringLiteral("Sender:"));
        const QRectF subjectEnd = find(QStringLiteral("report"));
        const QRectF date = find(QStringLiteral("Date:"));
        QRectF pageNumber;
        for (qsizetype i = 0; i + 1 < words.size(); ++i)
            if (words[i].text == QStringLiteral("Page:")) pageNumber = words[i + 1].box;
        QVERIFY(!sender.isNull() && !subjectEnd.isNull() && !date.isNull() && !pageNumber.isNull());
        const double tolerance = 2.0;
        QVERIFY2(std::abs(sender.left() - 50 * unit) < tolerance, qPrintable(QString::number(sender.left())));
        QVERIFY2(std::abs(sender.bottom() - (topMargin - 5 * unit)) < tolerance,
                 qPrintable(QString::number(sender.bottom())));
        QVERIFY2(std::abs(subjectEnd.right() - (kA4Points.width() - 50 * unit)) < tolerance,
                 qPrintable(QString::number(subjectEnd.right())));
        QVERIFY(std::abs(subjectEnd.bottom() - sender.bottom()) < 0.5);
        QVERIFY2(std::abs(date.left() - 50 * unit) < tolerance, qPrintable(QString::number(date.left())));
        QVERIFY2(std::abs(date.bottom() - (footerTop + 20 * unit)) < tolerance,
                 qPrintable(QString::number(date.bottom())));
        QVERIFY2(std::abs(pageNumber.right() - (kA4Points.width() - 50 * unit)) < tolerance,
                 qPrintable(QString::number(pageNumber.right())));
    }

    void printButtonPrintsEveryPageAfterThePrintDialog() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 150));
        bool offersRanges = true;
        ViewerHooks().RunPrintDialog = [&](QPrintDialog& pd) {
            ++printDialogs_;
            offersRanges = pd.testOption(QAbstractPrintDialog::PrintPageRange) ||
                           pd.testOption(QAbstractPrintDialog::PrintSelection);
            UsePdf(*pd.printer(), pdf_);
            return true;
        };
        QTest::mouseClick(dialog.LbButton1, Qt::LeftButton);
        QCOMPARE(printDialogs_, 1);
        QVERIFY(!offersRanges);
        const QStringList pages = PageTexts(pdf_);
        QVERIFY(pages.size() >= 2);
        QVERIFY(pages.last().contains(QStringLiteral("Line 150 of the report")));
        QVERIFY(pages.last().contains(QStringLiteral("Page: %1").arg(pages.size())));
    }

    void cancelledPrintDialogPrintsNothing() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 5));
        UsePdf(dialog.Printer(), pdf_);
        ViewerHooks().RunPrintDialog = [&](QPrintDialog&) {
            ++printDialogs_;
            return false;
        };
        QTest::mouseClick(dialog.LbButton1, Qt::LeftButton);
        QCOMPARE(printDialogs_, 1);
        QVERIFY(!QFileInfo::exists(pdf_));
    }

    void printerThatCannotStartIsReportedAndTheViewerStays() {
        QStringList messages;
        SetMessageBoxPresenter([&](QWidget*, const QString&, const QString& text) { messages << text; });
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ReportMessage(true, 5));
        dialog.show();
        ViewerHooks().RunPrintDialog = [&](QPrintDialog& pd) {
            UsePdf(*pd.printer(), QStringLiteral("/nonexistent-folder-of-brindle/out.pdf"));
            return true;
        };
        QTest::mouseClick(dialog.LbButton1, Qt::LeftButton);
        SetMessageBoxPresenter([](QWidget*, const QString&, const QString& text) { QFAIL(qPrintable(text)); });
        QCOMPARE(messages, QStringList{QStringLiteral("Printing could not be started.")});
        QVERIFY(dialog.isVisible());
    }

    void documentBackgroundIsLeftOutAndTableBackgroundsPrinted() {
        const std::string html =
            "<html><body bgcolor=\"#ff0000\"><p>Red page</p>"
            "<table><tr><td bgcolor=\"#00a000\" width=\"300\" height=\"200\">green "
            "cell</td></tr></table></body></html>";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(SinglePart("Subject: Colours\n", "text/html", html));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        dialog.PrintPages(printer, 1, 9999);
        const QImage withoutBackground = FirstPageImage(pdf_, dir_.filePath(QStringLiteral("a")));
        QVERIFY(!withoutBackground.isNull());
        QCOMPARE(CountPixels(withoutBackground, IsRed), 0);
        QVERIFY(CountPixels(withoutBackground, IsGreen) > 100);

        dialog.HTMLViewer->PrintBackground = true;
        const QString second = dir_.filePath(QStringLiteral("background.pdf"));
        UsePdf(printer, second);
        dialog.PrintPages(printer, 1, 9999);
        QVERIFY(CountPixels(FirstPageImage(second, dir_.filePath(QStringLiteral("b"))), IsRed) > 1000);
    }

    void inlineImagePrints() {
        const std::string raw = Multipart(
            "Subject: Picture\n", "related",
            {{"Content-Type: text/html\n", "<p>Picture:</p><p><img src=\"cid:pic@example.com\"></p>\n"},
             Base64Attachment("image/png", "pic.png", PngImage(QSize(200, 160), Qt::red), "pic@example.com")});
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(raw);
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        dialog.PrintPages(printer, 1, 9999);
        QVERIFY(CountPixels(FirstPageImage(pdf_, dir_.filePath(QStringLiteral("c"))), IsRed) > 500);
    }

    // The print copy of the document resolves its images as the view does: a local file named
    // by the message never reaches the paper.
    void printingLoadsNoImageFromFiles() {
        const QString local = dir_.filePath(QStringLiteral("local-red.png"));
        QImage red(200, 160, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(local));
        const std::string html = "<p>Pictures:</p><p><img src=\"" + local.toStdString() + "\"><img src=\"file://" +
                                 local.toStdString() + "\"></p>\n";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(SinglePart("Subject: Local\n", "text/html", html));
        QPrinter printer(QPrinter::HighResolution);
        UsePdf(printer, pdf_);
        dialog.PrintPages(printer, 1, 9999);
        const QImage page = FirstPageImage(pdf_, dir_.filePath(QStringLiteral("d")));
        QVERIFY(!page.isNull());
        QCOMPARE(CountPixels(page, IsRed), 0);
    }

    void pageEventsGetPageNumbersAndTheAreaSizes() {
        THTMLViewer viewer;
        QString html;
        for (int i = 0; i < 300; ++i) html += QStringLiteral("<p>Paragraph %1</p>").arg(i);
        viewer.LoadFromString(html);
        struct Event {
            int page, w, h;
        };
        QList<Event> headers, footers;
        viewer.OnPrintHeader = [&](THTMLViewer* sender, QPainter&, int page, int w, int h, bool&) {
            QCOMPARE(sender, &viewer);
            headers.push_back({page, w, h});
        };
        viewer.OnPrintFooter = [&](THTMLViewer*, QPainter&, int page, int w, int h, bool& stop) {
            footers.push_back({page, w, h});
            stop = page == 3;
        };
        QPdfWriter writer(pdf_);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QCOMPARE(viewer.Print(writer, 2, 9999), 2);
        QCOMPARE(headers.size(), 2);
        QCOMPARE(footers.size(), 2);
        QCOMPARE(headers[0].page, 2);
        QCOMPARE(headers[1].page, 3);
        const double unitsPerInch = THTMLViewer::ScreenDpi();
        QVERIFY(std::abs(headers[0].w - kA4Points.width() / 72 * unitsPerInch) <= 1);
        QCOMPARE(headers[0].h, qRound(2 / 2.54 * unitsPerInch));
        QCOMPARE(footers[0].w, headers[0].w);
        QVERIFY(std::abs(footers[0].h - 2 / 2.54 * unitsPerInch) <= 1);
        QCOMPARE(PageTexts(pdf_).size(), 2);
        QVERIFY(PageTexts(pdf_)[0].contains(QStringLiteral("Paragraph")));
        QVERIFY(!PageTexts(pdf_)[0].contains(QStringLiteral("Paragraph 0\n")));
    }
};

QTEST_MAIN(ViewerPrintTest)
#include "ViewerPrintTest.moc"
