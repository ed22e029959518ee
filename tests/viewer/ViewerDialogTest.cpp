// The message viewer through its real dialog: fields, memo, attachments, source view, the
// HTML view's links, status line and resource loading, and saving attachments.
#include "TestMessages.h"

#include "components/DefaultHandler.h"
#include "platform/TargetFolder.h"
#include "viewer/HTMLViewer.h"
#include "viewer/MessageView.h"
#include "viewer/MsgDlg.h"
#include "viewer/SynMemo.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

using namespace brindle;
using namespace brindle::test;

namespace {

const char* const kHeaders =
    "From: Alice Example <alice@example.com>\n"
    "To: bob@example.com\n"
    "Subject: Quarterly figures\n"
    "Date: Tue, 3 Sep 2024 10:15:00 +0200\n";

std::string Bytes(int count) {
    std::string data;
    for (int i = 0; i < count; ++i) data += static_cast<char>((i * 7 + 3) & 0xFF);
    return data;
}

std::string MessageWithAttachments() {
    return Multipart(kHeaders, "mixed",
                     {{"Content-Type: text/plain; charset=us-ascii\n", "Hello Bob,\nthe figures are attached.\n"},
                      Base64Attachment("application/octet-stream", "figures.bin", Bytes(300)),
                      Base64Attachment("application/octet-stream", "empty.dat", "")});
}

std::string HtmlMessage(const std::string& html) { return SinglePart(kHeaders, "text/html; charset=utf-8", html); }

QString ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromLatin1(file.readAll().toHex());
}

QString Hex(const std::string& bytes) {
    return QString::fromLatin1(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toHex());
}

// The middle of the text fragment that carries the link, in the viewport's coordinates.
QPoint LinkPosition(THTMLViewer& viewer, const QString& href) {
    for (QTextBlock block = viewer.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() != href) continue;
            QTextCursor cursor(viewer.document());
            cursor.setPosition(fragment.position() + fragment.length() / 2);
            viewer.ensureCursorVisible();
            return viewer.cursorRect(cursor).center();
        }
    }
    return {-1, -1};
}

QPoint TextPosition(THTMLViewer& viewer, const QString& text) {
    const QTextCursor found = viewer.document()->find(text);
    if (found.isNull()) return {-1, -1};
    QTextCursor cursor(viewer.document());
    cursor.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    return viewer.cursorRect(cursor).center();
}

// A plain-text message of the given number of body lines "Body line N", ended by LF alone.
std::string ManyLinesMessage(int lines) {
    std::string raw = "Subject: Many lines\nFrom: a@example.com\n\n";
    for (int i = 0; i < lines; ++i) raw += "Body line " + std::to_string(i) + "\n";
    return raw;
}

// The top of the row that shows the line, in the viewport, or -1 when it is not in view.
int RowTop(const TTextView& view, size_t line) {
    for (const TTextView::TVisibleRow& visible : view.VisibleRows())
        if (visible.row.line == line && !visible.row.continuation) return visible.top;
    return -1;
}

void ShowOnTab(Tdlg_oe_Msg& dialog, int tab) {
    dialog.show();
    dialog.pc->setCurrentIndex(tab);
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

}  // namespace

class ViewerDialogTest : public QObject {
    Q_OBJECT

    QStringList opened_;
    QStringList messages_;
    QString saveTo_;
    QString saveTitle_;
    QString saveProposal_;
    QString folder_;
    QStringList asked_;  // the names asked about, in order
    TReplaceChoice answer_;

private slots:
    void initTestCase() {
        ViewerHooks().OpenUrl = [this](const QUrl& url) { opened_ << url.toString(); };
        ViewerHooks().RunSaveDialog = [this](QFileDialog& dialog) {
            saveTitle_ = dialog.windowTitle();
            saveProposal_ = QFileInfo(dialog.selectedFiles().value(0)).fileName();
            return saveTo_;
        };
        ViewerHooks().ChooseFolder = [this](QWidget*, const QString&) { return folder_; };
        ViewerHooks().AskReplace = [this](QWidget*, const QString& name, const QString&, bool) {
            asked_ << name;
            return answer_;
        };
        ViewerHooks().RunPrintDialog = [](QPrintDialog&) { return false; };
        SetMessageBoxPresenter([this](QWidget*, const QString&, const QString& text) { messages_ << text; });
    }

    void init() {
        opened_.clear();
        messages_.clear();
        saveTo_.clear();
        saveTitle_.clear();
        saveProposal_.clear();
        folder_.clear();
        asked_.clear();
        answer_ = {};
    }

    void cleanupTestCase() {
        ResetViewerHooks();
        SetMessageBoxPresenter(nullptr);
    }

    void dialogHasTheControlsAndSettingsOfItsLayout() {
        Tdlg_oe_Msg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Brindle"));
        QCOMPARE(dialog.minimumSize(), QSize(130, 50));
        QCOMPARE(dialog.maximumSize(), QSize(1288, 1032));
        QCOMPARE(dialog.pc->count(), 3);
        QCOMPARE(dialog.pc->tabText(0), QStringLiteral(" &General "));
        QCOMPARE(dialog.pc->tabText(1), QStringLiteral(" &HTML View "));
        QCOMPARE(dialog.pc->tabText(2), QStringLiteral(" S&ource "));
        for (const char* name : {"pc",     "TabSheet1", "TabSheet2",  "TabSheet3", "Image1", "Label2",  "Label3",
                                 "Label4", "eFrom",     "eSubject",   "eSent",     "Memo",   "List",    "bSave",
                                 "eAI",    "eAS",       "HTMLViewer", "LbButton1", "eSB",    "SynMemo", "LbButton3"})
            QVERIFY2(dialog.findChild<QWidget*>(QLatin1String(name)) != nullptr, name);
        QCOMPARE(dialog.findChild<QLabel*>("Label2")->text(), QStringLiteral("Sender:"));
        QCOMPARE(dialog.findChild<QLabel*>("Label3")->text(), QStringLiteral("Subject:"));
        QCOMPARE(dialog.findChild<QLabel*>("Label4")->text(), QStringLiteral("Sent:"));
        QCOMPARE(dialog.bSave->text(), QStringLiteral("Save &attachment..."));
        QCOMPARE(dialog.LbButton1->text(), QStringLiteral("P&rint..."));
        QCOMPARE(dialog.LbButton3->text(), QStringLiteral("&Close"));
        // Every tab and button has a mnemonic of its own.
        QStringList captions;
        for (int tab = 0; tab < dialog.pc->count(); ++tab) captions << dialog.pc->tabText(tab);
        for (const QPushButton* button : dialog.findChildren<QPushButton*>()) captions << button->text();
        QSet<QChar> keys;
        for (const QString& caption : captions) {
            const qsizetype amp = caption.indexOf(u'&');
            QVERIFY2(amp >= 0 && amp + 1 < caption.size() && caption[amp + 1].isLetter(), qPrintable(caption));
            const QChar key = caption[amp + 1].toLower();
            QVERIFY2(!keys.contains(key), qPrintable(caption));
            keys.insert(key);
        }
        QVERIFY(!dialog.bSave->isEnabled());
        QVERIFY(dialog.eFrom->isReadOnly() && dialog.eAI->isReadOnly() && dialog.eSB->isReadOnly());
        QVERIFY(dialog.eAI->text().isEmpty() && dialog.eAS->text().isEmpty() && dialog.eSB->text().isEmpty());
        QCOMPARE(dialog.List->viewMode(), QListView::ListMode);
        QCOMPARE(dialog.List->selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(dialog.ListColumns[0].Caption, QStringLiteral("Název"));
        QCOMPARE(dialog.ListColumns[0].Width, 150);
        QCOMPARE(dialog.ListColumns[1].Caption, QStringLiteral("Typ"));
        QCOMPARE(dialog.ListColumns[1].Width, 100);
        QCOMPARE(dialog.ListColumns[2].Caption, QStringLiteral("Velikost [B]"));
        QCOMPARE(dialog.ListColumns[2].Width, 125);
        QCOMPARE(dialog.ListColumns[2].Alignment, Qt::AlignRight);
        QCOMPARE(dialog.Image1->pixmap().size(), QSize(32, 32));
        QVERIFY(!dialog.HTMLViewer->openLinks());
        QVERIFY(!dialog.HTMLViewer->openExternalLinks());
        QCOMPARE(dialog.HTMLViewer->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(dialog.HTMLViewer->PrintMarginLeft, 2.0);
        QCOMPARE(dialog.HTMLViewer->PrintMarginBottom, 2.0);
        QCOMPARE(dialog.HTMLViewer->PrintScale, 1.0);
        QVERIFY(dialog.HTMLViewer->PrintTableBackground);
        QVERIFY(!dialog.HTMLViewer->PrintBackground);
        QVERIFY(dialog.SynMemo->isReadOnly());
        QCOMPARE(dialog.SynMemo->GutterColor(), QColor(160, 160, 164));
        QVERIFY(QFontInfo(dialog.SynMemo->font()).fixedPitch());
        QCOMPARE(dialog.LbButton3->cursor().shape(), Qt::PointingHandCursor);
    }

    // A recovered text carries a notice above it; a message read from its store has none.
    void noticeShowsAboveTheTextOnlyWhenGiven() {
        TTextSession store({MessageWithAttachments()});
        TFoundMessage deleted;
        deleted.Kind = TFoundKind::Deleted;
        deleted.LostBytes = 12;
        store.SetFound({{deleted, MessageWithAttachments()}});
        const std::vector<std::pair<TMessageHandle, QString>> cases = {
            {store.Recovered(0), QStringLiteral("Recovered from deleted space: 12 bytes are lost.")},
            {store.Indexed(0), QString()},
            {TMessageHandle::OfText(MessageWithAttachments()), QString()}};
        const auto previous = ViewerHooks().RunModal;
        for (const auto& [message, notice] : cases) {
            bool reached = false;
            ViewerHooks().RunModal = [&](QDialog& dialog) {
                reached = true;
                auto& viewer = dynamic_cast<Tdlg_oe_Msg&>(dialog);
                QCOMPARE(viewer.lNotice->isVisibleTo(&viewer), !notice.isEmpty());
                QCOMPARE(viewer.lNotice->text(), notice);
                QLayout* layout = viewer.TabSheet1->layout();
                QVERIFY(layout->indexOf(viewer.lNotice) < layout->indexOf(viewer.Memo));
                QVERIFY(viewer.Memo->Lines().Bytes().find("the figures are attached") != std::string::npos);
            };
            ShowMessageView(message);
            QVERIFY(reached);
        }
        ViewerHooks().RunModal = previous;
    }

    void closeButtonAndEscapeEndTheModalRun() {
        Tdlg_oe_Msg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.LbButton3, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
    }

    void fieldsMemoAndAttachmentsAreFilled() {
        const bool shown = WithViewer(MessageWithAttachments(), [&](Tdlg_oe_Msg& dialog) {
            QCOMPARE(dialog.eFrom->text(), QStringLiteral("Alice Example <alice@example.com>"));
            QCOMPARE(dialog.eSubject->text(), QStringLiteral("Quarterly figures"));
            QCOMPARE(dialog.eSent->text(), QStringLiteral("Tue, 3 Sep 2024 10:15:00 +0200"));
            QCOMPARE(dialog.eTo->text(), QStringLiteral("bob@example.com"));
            QVERIFY(dialog.eCc->text().isEmpty());
            QVERIFY2(dialog.Memo->toPlainText().contains(QStringLiteral("Hello Bob,\nthe figures are attached.")),
                     qPrintable(dialog.Memo->toPlainText()));
            QCOMPARE(dialog.List->count(), 2);
            QCOMPARE(dialog.List->item(0)->text(), QStringLiteral("figures.bin"));
            QCOMPARE(dialog.List->item(1)->text(), QStringLiteral("empty.dat"));
            QVERIFY(!dialog.List->item(0)->icon().isNull());
            QVERIFY(!dialog.bSave->isEnabled());
            QVERIFY(dialog.bSaveAll->isEnabled());

            dialog.List->item(0)->setSelected(true);
            QVERIFY(dialog.bSave->isEnabled());
            QCOMPARE(dialog.eAI->text(), QString::fromStdString(dialog.MoxMsg.AttachedFiles.Items(0).ContentType));
            QVERIFY(!dialog.eAI->text().isEmpty());
            QCOMPARE(dialog.eAS->text(), QStringLiteral("300 B"));

            dialog.List->item(1)->setSelected(true);
            QVERIFY(!dialog.List->item(0)->isSelected());
            QCOMPARE(dialog.eAS->text(), QStringLiteral("0 B"));
        });
        QVERIFY(shown);
    }

    // General names every receiver beside the sender, each row under its caption.
    void generalShowsTheReceivers() {
        const std::string raw = SinglePart(
            "From: Alice Example <alice@example.com>\nTo: Bob <bob@example.com>, dan@example.com\n"
            "Cc: =?utf-8?Q?Carl_M=C3=BCller?= <carl@example.com>\nSubject: Copies\n",
            "text/plain; charset=us-ascii", "Text\n");
        QVERIFY(WithViewer(raw, [](Tdlg_oe_Msg& dialog) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.findChild<QLabel*>("LabelTo")->text(), QStringLiteral("To:"));
            QCOMPARE(dialog.findChild<QLabel*>("LabelCc")->text(), QStringLiteral("Cc:"));
            QVERIFY(dialog.eTo->text().contains(u"bob@example.com") && dialog.eTo->text().contains(u"dan@example.com"));
            QVERIFY2(dialog.eCc->text().contains(QStringLiteral("Carl M\u00fcller")), qPrintable(dialog.eCc->text()));
            QVERIFY(dialog.eTo->isReadOnly() && dialog.eCc->isReadOnly());
            // The rows stand in order, each box beside its caption, all inside the strip.
            const QWidget* strip = dialog.findChild<QWidget*>("HeaderStrip");
            int lastTop = -1;
            for (const char* name : {"eFrom", "eTo", "eCc", "eSubject", "eSent"}) {
                const auto* box = dialog.findChild<QLineEdit*>(QLatin1String(name));
                const QRect place(box->mapTo(strip, QPoint(0, 0)), box->size());
                QVERIFY2(place.top() > lastTop, name);
                QVERIFY2(strip->rect().contains(place), name);
                lastTop = place.top();
            }
        }));
    }

    // The title names the message, so that several viewers can be told apart.
    void titleShowsTheSubject() {
        struct Case {
            std::string raw;
            QString title;
        };
        const std::vector<Case> cases = {
            {SinglePart(kHeaders, "text/plain", "x\n"), QStringLiteral("Quarterly figures - Brindle")},
            {SinglePart("From: a@x.org\n", "text/plain", "x\n"), QStringLiteral("Brindle")},
            {SinglePart("Subject: =?utf-8?B?0J/RgNC40LLQtdGC?=\n", "text/plain", "x\n"),
             QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 - Brindle")},
        };
        for (const Case& c : cases) {
            QString title;
            QVERIFY(WithViewer(c.raw, [&](Tdlg_oe_Msg& dialog) { title = dialog.windowTitle(); }));
            QCOMPARE(title, c.title);
        }
    }

    void deselectingDisablesSaveButKeepsTheBoxes() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        ShowOnTab(dialog, 0);
        const QRect first = dialog.List->visualItemRect(dialog.List->item(0));
        QTest::mouseClick(dialog.List->viewport(), Qt::LeftButton, {}, first.center());
        QVERIFY(dialog.bSave->isEnabled());
        QCOMPARE(dialog.eAS->text(), QStringLiteral("300 B"));
        const QPoint empty(dialog.List->viewport()->width() - 3, dialog.List->viewport()->height() - 3);
        QVERIFY(dialog.List->itemAt(empty) == nullptr);
        QTest::mouseClick(dialog.List->viewport(), Qt::LeftButton, {}, empty);
        QVERIFY(dialog.List->selectedItems().isEmpty());
        QVERIFY(!dialog.bSave->isEnabled());
        QCOMPARE(dialog.eAS->text(), QStringLiteral("300 B"));
        QVERIFY(!dialog.eAI->text().isEmpty());
    }

    void messageWithoutAttachmentsKeepsSaveDisabled() {
        WithViewer(SinglePart(kHeaders, "text/plain", "Just text.\n"), [](Tdlg_oe_Msg& dialog) {
            QCOMPARE(dialog.List->count(), 0);
            QVERIFY(!dialog.bSave->isEnabled());
            QVERIFY(!dialog.bSaveAll->isEnabled());
        });
    }

    void emptyRawTextOpensAnEmptyDialog() {
        const bool shown = WithViewer("", [](Tdlg_oe_Msg& dialog) {
            QVERIFY(dialog.eFrom->text().isEmpty());
            QVERIFY(dialog.eSubject->text().isEmpty());
            QVERIFY(dialog.eSent->text().isEmpty());
            QVERIFY(dialog.Memo->toPlainText().isEmpty());
            QVERIFY(dialog.SynMemo->toPlainText().isEmpty());
            QVERIFY(dialog.HTMLViewer->toPlainText().isEmpty());
            QCOMPARE(dialog.List->count(), 0);
        });
        QVERIFY(shown);
    }

    void sourceShowsTheRawLinesWhateverTheLineEnds() {
        const std::string lf = "Subject: Line ends\nFrom: a@example.com\n\nfirst\nsecond\n";
        QString withLf, withCrLf, withCr;
        WithViewer(lf, [&](Tdlg_oe_Msg& dialog) { withLf = dialog.SynMemo->toPlainText(); });
        WithViewer(Crlf(lf), [&](Tdlg_oe_Msg& dialog) { withCrLf = dialog.SynMemo->toPlainText(); });
        WithViewer("Subject: Line ends\rFrom: a@example.com\r\rfirst\rsecond\r",
                   [&](Tdlg_oe_Msg& dialog) { withCr = dialog.SynMemo->toPlainText(); });
        QCOMPARE(withLf, QStringLiteral("Subject: Line ends\nFrom: a@example.com\n\nfirst\nsecond"));
        QCOMPARE(withCrLf, withLf);
        QCOMPARE(withCr, withLf);
    }

    // A NUL no longer ends the text: the bytes after it are shown, the NUL itself is dropped.
    void nulCharacterIsDroppedFromTheShownText() {
        std::string raw = Crlf("Subject: Before\n\nvisible body\n");
        const char tail[] = "\0kept tail\r\n";
        raw += std::string(tail, sizeof tail - 1);
        WithViewer(raw, [](Tdlg_oe_Msg& dialog) {
            QCOMPARE(dialog.eSubject->text(), QStringLiteral("Before"));
            QVERIFY(dialog.Memo->toPlainText().contains(QStringLiteral("visible body")));
            for (const QString& shown : {dialog.SynMemo->toPlainText(), dialog.Memo->toPlainText()}) {
                QVERIFY2(shown.contains(QStringLiteral("kept tail")), qPrintable(shown));
                QVERIFY2(!shown.contains(QChar(0)), qPrintable(shown));
            }
        });
    }

    void rawLinesThatAreNotUtf8AreShownAsWindows1252() {
        const std::string raw = Crlf("Subject: plain\nX-Note: caf\xE9 \x80\n\nna\xC3\xAFve\n");
        WithViewer(raw, [](Tdlg_oe_Msg& dialog) {
            const QString source = dialog.SynMemo->toPlainText();
            QVERIFY2(source.contains(QStringLiteral("X-Note: café €")), qPrintable(source));
            QVERIFY2(source.contains(QStringLiteral("naïve")), qPrintable(source));
        });
    }

    void gutterNumbersStartAtZeroWithAtLeastFourDigits() {
        TSynMemo memo;
        QCOMPARE(memo.LineNumberText(0), QStringLiteral("0000"));
        QCOMPARE(memo.LineNumberText(42), QStringLiteral("0042"));
        const int narrow = memo.GutterWidth();
        std::string lines;
        for (int i = 0; i < 10001; ++i) lines += "x\n";
        memo.SetText(lines);
        QCOMPARE(memo.LineCount(), size_t{10001});
        QCOMPARE(memo.LineNumberText(0), QStringLiteral("00000"));
        QCOMPARE(memo.LineNumberText(10000), QStringLiteral("10000"));
        QVERIFY(memo.GutterWidth() > narrow);
        memo.resize(300, 200);
        memo.show();
        QVERIFY(QTest::qWaitForWindowExposed(&memo));
        QCOMPARE(memo.viewport()->x() - memo.contentsRect().x(), memo.GutterWidth());
    }

    void bigMessageOpensWithItsLinesCountedAndTheLastLineReachable() {
        constexpr int kLines = 100000;
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ManyLinesMessage(kLines));
        QCOMPARE(dialog.SynMemo->LineCount(), size_t{kLines + 3});
        QCOMPARE(dialog.Memo->LineCount(), size_t{kLines});
        QCOMPARE(dialog.SynMemo->LineText(3), QStringLiteral("Body line 0"));
        QCOMPARE(dialog.SynMemo->LineNumberText(3), QStringLiteral("000003"));
        ShowOnTab(dialog, 2);
        TSynMemo& source = *dialog.SynMemo;
        QCOMPARE(RowTop(source, 0), 0);
        QTest::keyClick(&source, Qt::Key_End, Qt::ControlModifier);
        const std::vector<TTextView::TVisibleRow> rows = source.VisibleRows();
        QVERIFY(!rows.empty());
        QCOMPARE(rows.back().row.line, size_t{kLines + 2});
        QVERIFY2(rows.back().top + rows.back().height <= source.viewport()->height(), "the last line shows whole");
        QCOMPARE(source.LineText(rows.back().row.line), QStringLiteral("Body line %1").arg(kLines - 1));
        QCOMPARE(source.verticalScrollBar()->value(), source.verticalScrollBar()->maximum());
        source.ScrollToLine(5000);
        QCOMPARE(RowTop(source, 5000), 0);
        QTest::keyClick(&source, Qt::Key_Down);
        QTest::keyClick(&source, Qt::Key_PageDown);
        QVERIFY(RowTop(source, 5000) < 0);
        QTest::keyClick(&source, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(RowTop(source, 0), 0);
    }

    void largePlainTextShowsOnTheHtmlViewWithoutADocument() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(ManyLinesMessage(20000));
        ShowOnTab(dialog, 1);
        QVERIFY(dialog.HTMLText->isVisible());
        QVERIFY(!dialog.HTMLViewer->isVisible());
        QVERIFY(dialog.HTMLViewer->toPlainText().isEmpty());
        QCOMPARE(dialog.HTMLText->LineCount(), size_t{20000});
        QCOMPARE(dialog.HTMLText->LineText(19999), QStringLiteral("Body line 19999"));
        QCOMPARE(dialog.HTMLText->font(), dialog.HTMLViewer->font());
        QVERIFY(dialog.HTMLText->WordWrap());

        Tdlg_oe_Msg small;
        small.LoadMessage(ManyLinesMessage(3));
        ShowOnTab(small, 1);
        QVERIFY(small.HTMLViewer->isVisible());
        QVERIFY(!small.HTMLText->isVisible());
        QVERIFY(small.HTMLViewer->toPlainText().contains(QStringLiteral("Body line 2")));
    }

    void generalTextWrapsLongLinesAtTheWidth() {
        std::string words;
        for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
        std::string run(5000, 'x');
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage("Subject: wrap\n\n" + words + "\n" + run + "\nend\n");
        ShowOnTab(dialog, 0);
        const std::vector<TTextView::TVisibleRow> rows = dialog.Memo->VisibleRows();
        QVERIFY(rows.size() >= 2);
        const int spacing = dialog.Memo->fontMetrics().lineSpacing();
        QVERIFY2(rows[0].height >= 3 * spacing, qPrintable(QString::number(rows[0].height)));
        QVERIFY(rows[1].top == rows[0].top + rows[0].height);
        QCOMPARE(dialog.Memo->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(dialog.Memo->LineText(1), QString::fromStdString(run));
    }

    void copyGivesTheSelectedTextAsShown() {
        const std::string raw =
            Crlf("Subject: copy\nX-Note: caf\xE9\n\nfirst \xF0\x9F\x98\x80 line\nsecond line\nthird line\nfourth\n");
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(raw);
        ShowOnTab(dialog, 2);
        TSynMemo& source = *dialog.SynMemo;
        source.setFocus();
        QTest::keyClick(&source, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&source, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("Subject: copy\nX-Note: café\n\nfirst 😀 line\nsecond line\nthird line\nfourth"));

        const int left = TTextView::kTextMargin;
        const int second = RowTop(source, 4);
        const int fourth = RowTop(source, 6);
        QVERIFY(second >= 0 && fourth > second);
        QTest::mousePress(source.viewport(), Qt::LeftButton, {}, QPoint(left, second + 2));
        QTest::mouseMove(source.viewport(), QPoint(left + 40, fourth - 4));
        QTest::mouseRelease(source.viewport(), Qt::LeftButton, {}, QPoint(left, fourth + 2));
        QTest::keyClick(&source, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("second line\nthird line\n"));

        const QString firstLine = source.LineText(3);
        const int emoji = source.fontMetrics().horizontalAdvance(firstLine.left(6));
        const int third = RowTop(source, 3);
        QTest::mousePress(source.viewport(), Qt::LeftButton, {}, QPoint(left + emoji - 1, third + 2));
        QTest::mouseRelease(source.viewport(), Qt::LeftButton, {},
                            QPoint(left + source.fontMetrics().horizontalAdvance(firstLine.left(9)), third + 2));
        QCOMPARE(source.SelectedText(), QStringLiteral("😀 "));
    }

    // General shows the plain form of the text and the HTML view the HTML form, each once.
    void eachViewShowsOneFormOfTheText_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QStringList>("general");      // lines General holds, in order
        QTest::addColumn<QStringList>("notOnGeneral");
        QTest::addColumn<QStringList>("html");         // lines the HTML view holds, in order
        QTest::addColumn<QStringList>("notOnHtml");
        const TPart plain{"Content-Type: text/plain\n", "Plain version line\nSecond plain line\n"};
        const TPart html{"Content-Type: text/html\n", "<html><body><p>Rich <b>version</b> &amp; more</p></body></html>\n"};
        const auto bytes = [](const std::string& raw) { return QByteArray::fromStdString(raw); };
        const QStringList plainLines{QStringLiteral("Plain version line"), QStringLiteral("Second plain line")};
        const QStringList richLines{QStringLiteral("Rich version & more")};
        const QStringList tags{QStringLiteral("<b>"), QStringLiteral("<p>"), QStringLiteral("&amp;")};
        const QStringList plainWords{QStringLiteral("Plain version")};
        const QStringList richWords{QStringLiteral("Rich version")};
        QTest::newRow("plain and HTML") << bytes(Multipart(kHeaders, "alternative", {plain, html})) << plainLines
                                        << (tags + richWords) << richLines << plainWords;
        QTest::newRow("HTML first") << bytes(Multipart(kHeaders, "alternative", {html, plain})) << plainLines
                                    << (tags + richWords) << richLines << plainWords;
        const TPart related{"Content-Type: multipart/related; boundary=\"inner\"\n",
                            "--inner\n" + html.headers + "\n" + html.body +
                                "--inner\nContent-Type: image/png\nContent-ID: <a>\nContent-Transfer-Encoding: "
                                "base64\n\ncG5n\n--inner--\n"};
        QTest::newRow("HTML with images") << bytes(Multipart(kHeaders, "alternative", {plain, related}))
                                          << plainLines << (tags + richWords) << richLines << plainWords;
        QTest::newRow("HTML alone") << bytes(HtmlMessage(html.body)) << richLines << tags << richLines << QStringList{};
        QTest::newRow("HTML the only alternative")
            << bytes(Multipart(kHeaders, "alternative", {html})) << richLines << tags << richLines << QStringList{};
        QTest::newRow("plain the only alternative")
            << bytes(Multipart(kHeaders, "alternative", {plain})) << plainLines << QStringList{} << plainLines
            << QStringList{};
        QTest::newRow("plain and HTML side by side")
            << bytes(Multipart(kHeaders, "mixed", {plain, html})) << (plainLines + richLines) << tags
            << (plainLines + richLines) << QStringList{};
        const TPart calendar{"Content-Type: text/calendar\n", "BEGIN:VCALENDAR\n"};
        QTest::newRow("a third form stays") << bytes(Multipart(kHeaders, "alternative", {plain, html, calendar}))
                                            << (plainLines + QStringList{QStringLiteral("BEGIN:VCALENDAR")})
                                            << (tags + richWords)
                                            << (richLines + QStringList{QStringLiteral("BEGIN:VCALENDAR")})
                                            << plainWords;
    }

    void eachViewShowsOneFormOfTheText() {
        QFETCH(QByteArray, raw);
        QFETCH(QStringList, general);
        QFETCH(QStringList, notOnGeneral);
        QFETCH(QStringList, html);
        QFETCH(QStringList, notOnHtml);
        const auto verifyLines = [](const QString& text, const QStringList& lines, const QStringList& absent) {
            QStringList shown = text.split(QLatin1Char('\n'));
            for (QString& line : shown) line = line.trimmed();
            shown.removeAll(QString());
            QCOMPARE(shown, lines);
            for (const QString& word : absent) QVERIFY2(!text.contains(word), qPrintable(text));
        };
        const bool opened = WithViewer(raw.toStdString(), [&](Tdlg_oe_Msg& dialog) {
            verifyLines(dialog.Memo->toPlainText(), general, notOnGeneral);
            verifyLines(dialog.HTMLViewer->toPlainText(), html, notOnHtml);
        });
        QVERIFY(opened);
    }

    void plainTextBodyIsShownAsTextNotAsHtml() {
        const std::string raw =
            SinglePart(kHeaders, "text/plain; charset=us-ascii",
                       "Write to <bob@example.com> & co.\nSecond line\n    indented <b>not bold</b>\n");
        WithViewer(raw, [](Tdlg_oe_Msg& dialog) {
            const QStringList lines = dialog.HTMLViewer->toPlainText().split(QLatin1Char('\n'));
            QVERIFY2(lines.size() >= 3, qPrintable(lines.join(QLatin1Char('|'))));
            QCOMPARE(lines[0], QStringLiteral("Write to <bob@example.com> & co."));
            QCOMPARE(lines[1], QStringLiteral("Second line"));
            QCOMPARE(lines[2], QStringLiteral("    indented <b>not bold</b>"));
            QTextCursor cursor(dialog.HTMLViewer->document());
            cursor.movePosition(QTextCursor::NextCharacter);
            QVERIFY(!QFontInfo(cursor.charFormat().font()).fixedPitch());
        });
    }

    void htmlBodyIsRenderedAsHtml() {
        WithViewer(HtmlMessage("<p>One <b>bold</b> <i>word</i></p>\n<p>Two</p>\n"), [](Tdlg_oe_Msg& dialog) {
            QStringList lines = dialog.HTMLViewer->toPlainText().split(QLatin1Char('\n'));
            for (QString& line : lines) line = line.trimmed();
            QCOMPARE(lines, (QStringList{QStringLiteral("One bold word"), QStringLiteral("Two")}));
            const QTextCursor bold = dialog.HTMLViewer->document()->find(QStringLiteral("bold"));
            QCOMPARE(bold.charFormat().fontWeight(), int(QFont::Bold));
        });
    }

    void linksGoToTheDesktopOnlyForWebAndMail() {
        struct Case {
            QString href;
            QString opened;
        };
        const QList<Case> cases = {
            {QStringLiteral("file:///usr/bin/xterm#http:"), QString()},
            {QStringLiteral("/usr/bin/xterm?x=http://example.com"), QString()},
            {QStringLiteral("C:\\Windows\\System32\\calc.exe#http:"), QString()},
            {QStringLiteral("javascript:location='http://example.com'"), QString()},
            {QStringLiteral("ftp://example.com/file"), QString()},
            {QStringLiteral("#nowhere"), QString()},
            {QStringLiteral("http://example.com/page"), QStringLiteral("http://example.com/page")},
            {QStringLiteral("HTTP://EXAMPLE.COM/UP"), QStringLiteral("http://example.com/UP")},
            {QStringLiteral("mailto:bob@example.com"), QStringLiteral("mailto:bob@example.com")},
            {QStringLiteral("https://example.com/secure"), QStringLiteral("https://example.com/secure")},
        };
        std::string html;
        for (const Case& c : cases)
            html += "<p><a href=\"" + c.href.toHtmlEscaped().toStdString() + "\">link text</a></p>\n";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(HtmlMessage(html));
        ShowOnTab(dialog, 1);
        for (const Case& c : cases) {
            opened_.clear();
            const QPoint at = LinkPosition(*dialog.HTMLViewer, c.href);
            QVERIFY2(at.x() >= 0, qPrintable(c.href));
            QTest::mouseClick(dialog.HTMLViewer->viewport(), Qt::LeftButton, {}, at);
            if (c.opened.isEmpty())
                QVERIFY2(opened_.isEmpty(), qPrintable(c.href + QStringLiteral(" -> ") + opened_.join(' ')));
            else
                QCOMPARE(opened_, QStringList{c.opened});
            QCOMPARE(dialog.HTMLViewer->toPlainText().count(QStringLiteral("link text")), cases.size());
        }
    }

    void anchorLinkScrollsWithinTheDocument() {
        std::string html = "<p><a href=\"#target\">go down</a> <a href=\"http://example.com/\">web</a></p>\n";
        for (int i = 0; i < 200; ++i) html += "<p>filler paragraph " + std::to_string(i) + "</p>\n";
        html += "<p><a name=\"target\"></a>Target text</p>\n";
        for (int i = 0; i < 50; ++i) html += "<p>after " + std::to_string(i) + "</p>\n";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(HtmlMessage(html));
        ShowOnTab(dialog, 1);
        QScrollBar* bar = dialog.HTMLViewer->verticalScrollBar();
        QCOMPARE(bar->value(), 0);
        QTest::mouseClick(dialog.HTMLViewer->viewport(), Qt::LeftButton, {},
                          LinkPosition(*dialog.HTMLViewer, QStringLiteral("http://example.com/")));
        QCOMPARE(bar->value(), 0);
        QCOMPARE(opened_.size(), 1);
        QTest::mouseClick(dialog.HTMLViewer->viewport(), Qt::LeftButton, {},
                          LinkPosition(*dialog.HTMLViewer, QStringLiteral("#target")));
        QVERIFY(bar->value() > 0);
        QCOMPARE(opened_.size(), 1);
        const QPoint target = TextPosition(*dialog.HTMLViewer, QStringLiteral("Target text"));
        QVERIFY(dialog.HTMLViewer->viewport()->rect().contains(target));
    }

    void statusLineDescribesTheLinkUnderThePointer() {
        const std::string html =
            "<p><a href=\"http://a.example/\" title=\"Tip A\">alpha link</a></p>"
            "<p><a href=\"http://b.example/\">beta link</a></p>"
            "<p><span title=\"Span tip\">spanned words here</span></p>"
            "<p>plain words here</p>";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(HtmlMessage(html));
        ShowOnTab(dialog, 1);
        QWidget* viewport = dialog.HTMLViewer->viewport();
        THTMLViewer& view = *dialog.HTMLViewer;
        QTest::mouseMove(viewport, LinkPosition(view, QStringLiteral("http://a.example/")));
        QCOMPARE(dialog.eSB->text(), QStringLiteral("URL: http://a.example/Title: Tip A"));
        QTest::mouseMove(viewport, LinkPosition(view, QStringLiteral("http://b.example/")));
        QCOMPARE(dialog.eSB->text(), QStringLiteral("URL: http://b.example/"));
        QTest::mouseMove(viewport, TextPosition(view, QStringLiteral("plain words")));
        QCOMPARE(dialog.eSB->text(), QString());
        QTest::mouseMove(viewport, LinkPosition(view, QStringLiteral("http://a.example/")));
        QCOMPARE(dialog.eSB->text(), QStringLiteral("URL: http://a.example/Title: Tip A"));
        QTest::mouseMove(viewport, TextPosition(view, QStringLiteral("spanned words")));
        QCOMPARE(dialog.eSB->text(), QStringLiteral("Title: Span tip"));
    }

    void savedAttachmentHoldsTheDecodedBytes() {
        QTemporaryDir dir;
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        dialog.List->item(0)->setSelected(true);
        saveTo_ = dir.filePath(QStringLiteral("saved.bin"));
        QTest::mouseClick(dialog.bSave, Qt::LeftButton);
        QCOMPARE(saveTitle_, QStringLiteral("Uložit přílohu..."));
        QCOMPARE(saveProposal_, QStringLiteral("figures.bin"));
        QCOMPARE(ReadFile(saveTo_), Hex(Bytes(300)));
        QVERIFY(messages_.isEmpty());

        dialog.List->item(1)->setSelected(true);
        saveTo_ = dir.filePath(QStringLiteral("empty.dat"));
        QTest::mouseClick(dialog.bSave, Qt::LeftButton);
        QCOMPARE(saveProposal_, QStringLiteral("empty.dat"));
        QVERIFY(QFileInfo::exists(saveTo_));
        QCOMPARE(QFileInfo(saveTo_).size(), 0);
    }

    void cancelledSaveWritesNothing() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        dialog.List->item(0)->setSelected(true);
        saveTo_.clear();
        dialog.bSaveClick();
        QCOMPARE(saveProposal_, QStringLiteral("figures.bin"));
        QVERIFY(messages_.isEmpty());
    }

    void saveErrorGoesToTheMessageBoxAndTheDialogStays() {
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        dialog.show();
        dialog.List->item(0)->setSelected(true);
        saveTo_ = QStringLiteral("/nonexistent-folder-of-brindle/saved.bin");
        QTest::mouseClick(dialog.bSave, Qt::LeftButton);
        QCOMPARE(messages_,
                 QStringList{QStringLiteral("Cannot create file /nonexistent-folder-of-brindle/saved.bin.")});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.List->count(), 2);
        QVERIFY(dialog.List->item(0)->isSelected());
    }

    void saveAllWritesEveryAttachmentUnderUniqueNames() {
        QTemporaryDir dir;
        const std::string raw = Multipart(kHeaders, "mixed",
                                          {{"Content-Type: text/plain\n", "Two files.\n"},
                                           Base64Attachment("application/octet-stream", "note.txt", "first note"),
                                           Base64Attachment("application/octet-stream", "note.txt", "second note")});
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(raw);
        folder_ = dir.path();
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QVERIFY(messages_.isEmpty());
        QVERIFY(asked_.isEmpty());
        const QStringList files = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 2);
        QStringList contents;
        for (const QString& name : files)
            contents << QString::fromLatin1(QByteArray::fromHex(ReadFile(dir.filePath(name)).toLatin1()));
        contents.sort();
        QCOMPARE(contents, (QStringList{QStringLiteral("first note"), QStringLiteral("second note")}));

        QFile changed(dir.filePath(files[0]));
        QVERIFY(changed.open(QIODevice::WriteOnly));
        changed.write("changed");
        changed.close();
        answer_ = {TReplaceAnswer::Skip, false};
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QCOMPARE(asked_, (QStringList{QStringLiteral("note.txt"), QStringLiteral("note (2).txt")}));
        QCOMPARE(QFileInfo(dir.filePath(files[0])).size(), 7);
        asked_.clear();
        answer_ = {TReplaceAnswer::Replace, true};
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QCOMPARE(asked_, QStringList{QStringLiteral("note.txt")});
        QVERIFY(QFileInfo(dir.filePath(files[0])).size() > 7);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
        asked_.clear();
        answer_ = {TReplaceAnswer::KeepBoth, true};
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QCOMPARE(asked_.size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
        asked_.clear();
        answer_ = {TReplaceAnswer::Cancel, false};
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QCOMPARE(asked_.size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4);
        QVERIFY(messages_.isEmpty());
    }

    // A link where the attachment is to be saved: each answer leaves the link's target alone.
    void savingOverALinkNeverWritesThroughIt_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("linkEntry");  // what the link's name holds afterwards
        QTest::addColumn<QString>("keptBoth");   // the name of the second file, if any
        QTest::newRow("replace") << int(TReplaceAnswer::Replace) << "file" << QString();
        QTest::newRow("keep both") << int(TReplaceAnswer::KeepBoth) << "link"
                                   << "link (2).bin";
        QTest::newRow("skip") << int(TReplaceAnswer::Skip) << "link" << QString();
        QTest::newRow("dangling, replace") << int(TReplaceAnswer::Replace) << "file" << QString();
    }
    void savingOverALinkNeverWritesThroughIt() {
        QFETCH(int, answer);
        QFETCH(QString, linkEntry);
        QFETCH(QString, keptBoth);
        const bool dangling = QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String("dangling"));
        QTemporaryDir dir, outside;
        const QString secret = outside.filePath(QStringLiteral("secret.txt"));
        if (!dangling) {
            QFile file(secret);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("outside secret");
        }
        const QString link = dir.filePath(QStringLiteral("link.bin"));
        QVERIFY(QFile::link(secret, link));
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        dialog.List->item(0)->setSelected(true);
        saveTo_ = link;
        answer_ = {static_cast<TReplaceAnswer>(answer), false};
        QTest::mouseClick(dialog.bSave, Qt::LeftButton);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(asked_, QStringList{QStringLiteral("link.bin")});
        if (dangling)
            QVERIFY(!QFileInfo::exists(secret));
        else
            QCOMPARE(ReadFile(secret), Hex("outside secret"));
        QCOMPARE(QFileInfo(link).isSymLink(), linkEntry == QLatin1String("link"));
        if (linkEntry == QLatin1String("file")) QCOMPARE(ReadFile(link), Hex(Bytes(300)));
        if (!keptBoth.isEmpty()) QCOMPARE(ReadFile(dir.filePath(keptBoth)), Hex(Bytes(300)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(), keptBoth.isEmpty() ? 1 : 2);
    }

    void replaceNeverTakesTheNameOfTheOpenMessage() {
        QTemporaryDir dir;
        const QString eml = dir.filePath(QStringLiteral("open.eml"));
        QFile file(eml);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the message");
        file.close();
        KeepFromReplacing(QFile::encodeName(eml).toStdString());
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(MessageWithAttachments());
        dialog.List->item(0)->setSelected(true);
        saveTo_ = eml;
        answer_ = {TReplaceAnswer::Replace, false};
        QTest::mouseClick(dialog.bSave, Qt::LeftButton);
        QCOMPARE(messages_, QStringList{QStringLiteral("Cannot create file %1.").arg(eml)});
        QCOMPARE(ReadFile(eml), Hex("the message"));
    }

    void saveAllDisarmsHostileNames() {
        QTemporaryDir dir;
        const std::string raw =
            Multipart(kHeaders, "mixed",
                      {{"Content-Type: text/plain\n", "Names.\n"},
                       Base64Attachment("application/octet-stream", ".profile", "a"),
                       Base64Attachment("application/octet-stream", "CON.txt", "b"),
                       Base64Attachment("application/octet-stream", "photo\xE2\x80\xAEgpj.exe", "c"),
                       Base64Attachment("application/octet-stream", "com3", "d")});
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(raw);
        folder_ = dir.path();
        QTest::mouseClick(dialog.bSaveAll, Qt::LeftButton);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{QStringLiteral("_.profile"), QStringLiteral("_CON.txt"), QStringLiteral("_com3"),
                              QStringLiteral("photo_gpj.exe")}));
    }

    void inlineCidImageIsResolvedFromTheMessage() {
        const std::string png = PngImage(QSize(200, 160), Qt::red);
        const std::string raw =
            Multipart(kHeaders, "related",
                      {{"Content-Type: text/html\n", "<p>Logo:</p><p><img src=\"cid:logo.1@example.com\"></p>\n"},
                       Base64Attachment("image/png", "logo.png", png, "logo.1@example.com")});
        WithViewer(raw, [&](Tdlg_oe_Msg& dialog) {
            ShowOnTab(dialog, 1);
            const QVariant resource =
                dialog.HTMLViewer->document()->resource(QTextDocument::ImageResource, QUrl("cid:logo.1@example.com"));
            QCOMPARE(resource.value<QImage>().size(), QSize(200, 160));
            QCOMPARE(resource.value<QImage>().pixelColor(10, 10), QColor(Qt::red));
            QVERIFY(dialog.HTMLViewer->document()->size().height() > 160);
            const QVariant unknown =
                dialog.HTMLViewer->document()->resource(QTextDocument::ImageResource, QUrl("cid:other@example.com"));
            QVERIFY(unknown.value<QImage>().width() <= 1);
        });
    }

    void nothingIsLoadedFromFilesOrTheNetwork() {
        QTemporaryDir dir;
        QImage(200, 160, QImage::Format_RGB32).save(dir.filePath(QStringLiteral("local.png")));
        QFile css(dir.filePath(QStringLiteral("style.css")));
        QVERIFY(css.open(QIODevice::WriteOnly));
        css.write("p { font-size: 60pt; }");
        css.close();
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const std::string absolute = dir.filePath(QStringLiteral("local.png")).toStdString();
        const std::string web = "http://127.0.0.1:" + std::to_string(server.serverPort());
        const std::string html = "<html><head><link rel=\"stylesheet\" href=\"file://" +
                                 dir.filePath(QStringLiteral("style.css")).toStdString() +
                                 "\"><link rel=\"stylesheet\" href=\"" + web + "/style.css\"></head><body>" +
                                 "<p>Text</p><img src=\"" + absolute + "\"><img src=\"file://" + absolute +
                                 "\"><img src=\"local.png\"><img src=\"" + web + "/pixel.gif\"></body></html>";
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(HtmlMessage(html));
        ShowOnTab(dialog, 1);
        QTest::qWait(50);
        QDir::setCurrent(previous);
        QVERIFY2(dialog.HTMLViewer->document()->size().height() < 100,
                 qPrintable(QString::number(dialog.HTMLViewer->document()->size().height())));
        const QTextCursor text = dialog.HTMLViewer->document()->find(QStringLiteral("Text"));
        QVERIFY(QFontInfo(text.charFormat().font()).pointSize() < 30);
        QVERIFY(!server.hasPendingConnections());
        for (const QString& name : {QStringLiteral("file://") + QString::fromStdString(absolute),
                                    QString::fromStdString(absolute), QStringLiteral("local.png")}) {
            const QVariant loaded = dialog.HTMLViewer->ResolveResource(QTextDocument::ImageResource, QUrl(name));
            QVERIFY(loaded.value<QImage>().width() <= 1);
        }
    }

    // Without the nesting limits the control would need hours for this message.
    void deeplyNestedHtmlOpensAndShowsItsText() {
        std::string html;
        for (int i = 0; i < 60; ++i) html += "<table><tr><td>";
        html += "table text";
        for (int i = 0; i < 60; ++i) html += "</td></tr></table>";
        for (int i = 0; i < 50000; ++i) html += "<div>";
        html += "div text";
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(HtmlMessage(html));
        ShowOnTab(dialog, 1);
        const QString shown = dialog.HTMLViewer->toPlainText();
        QVERIFY(shown.contains(QStringLiteral("table text")));
        QVERIFY(shown.contains(QStringLiteral("div text")));
    }

    void viewerOpensOnTheGeneralTabEveryTime() {
        for (int round = 0; round < 2; ++round) {
            WithViewer(MessageWithAttachments(), [](Tdlg_oe_Msg& dialog) {
                QCOMPARE(dialog.pc->currentIndex(), 0);
                QCOMPARE(dialog.pc->currentWidget(), dialog.TabSheet1);
                dialog.pc->setCurrentIndex(2);
            });
        }
    }
};

QTEST_MAIN(ViewerDialogTest)
#include "ViewerDialogTest.moc"
