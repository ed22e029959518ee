// Reading comfort in the viewer and the reading pane: texts open at their first line,
// attachment names and types show in full, the viewer steps through its list, attachments
// open (an attached message in a viewer of its own, a file through the desktop after a
// question where it could run code) and the reading pane follows its requests.
#include "TestMessages.h"

#include "components/DefaultHandler.h"
#include "TnefWriter.h"
#include "viewer/AttachmentOpen.h"
#include "viewer/HTMLViewer.h"
#include "viewer/MessageView.h"
#include "viewer/MsgDlg.h"
#include "viewer/ReadingPane.h"
#include "viewer/SynMemo.h"
#include "viewer/TextView.h"
#include "viewer/ViewerHooks.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>

#include <QUrl>
#include <tuple>

#include <sys/stat.h>

using namespace brindle;
using namespace brindle::test;

namespace {

std::string Headers(const std::string& subject) {
    return "From: Alice Example <alice@example.com>\nTo: bob@example.com\nSubject: " + subject +
           "\nDate: Tue, 3 Sep 2024 10:15:00 +0200\n";
}

std::string PlainMessage(const std::string& subject, int lines) {
    std::string body;
    for (int i = 0; i < lines; ++i) body += "Body line " + std::to_string(i) + "\n";
    return SinglePart(Headers(subject), "text/plain; charset=us-ascii", body);
}

std::string WithAttachments(const std::string& subject, const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<TPart> parts = {{"Content-Type: text/plain; charset=us-ascii\n", "See the files.\n"}};
    for (const auto& [type, name] : files) parts.push_back(Base64Attachment(type, name, "data of " + name));
    return Multipart(Headers(subject), "mixed", parts);
}

// The line whose first row starts at the top edge of a text control, or -1 when none does.
long long FirstLineInView(const TTextView& view) {
    const std::vector<TTextView::TVisibleRow> rows = view.VisibleRows();
    if (rows.empty() || rows.front().top != 0 || rows.front().row.continuation) return -1;
    return static_cast<long long>(rows.front().row.line);
}

// Every item of the list is at least as wide as its icon and its text.
void VerifyNamesInFull(const QListWidget& list) {
    for (int row = 0; row < list.count(); ++row) {
        const QListWidgetItem* item = list.item(row);
        const int needed = list.fontMetrics().horizontalAdvance(item->text()) + list.iconSize().width();
        const QRect rect = list.visualItemRect(item);
        QVERIFY2(rect.width() >= needed, qPrintable(item->text()));
        QVERIFY2(rect.right() <= list.viewport()->width() || list.horizontalScrollBar()->maximum() > 0,
                 qPrintable(item->text()));
    }
}

mode_t ModeOf(const QString& path) {
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

}  // namespace

class ReadingTest : public QObject {
    Q_OBJECT

    QList<QUrl> openedFiles_;
    QStringList questions_;
    bool answerYes_ = false;
    QStringList boxes_;

private slots:
    void initTestCase() {
        ViewerHooks().OpenFile = [this](const QUrl& file) { openedFiles_ << file; };
        ViewerHooks().OpenUrl = [](const QUrl&) {};
        ViewerHooks().AskYesNo = [this](QWidget*, const QString&, const QString& question) {
            questions_ << question;
            return answerYes_;
        };
        SetMessageBoxPresenter([this](QWidget*, const QString&, const QString& text) { boxes_ << text; });
    }

    void init() {
        openedFiles_.clear();
        questions_.clear();
        answerYes_ = false;
        boxes_.clear();
    }

    void cleanupTestCase() {
        ResetViewerHooks();
        SetMessageBoxPresenter(nullptr);
    }

    void textsOpenAtTheirFirstLine_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("lines");
        QTest::newRow("general, long") << 0 << 3000;
        QTest::newRow("general, a screenful") << 0 << 40;
        QTest::newRow("source, long") << 2 << 3000;
    }
    void textsOpenAtTheirFirstLine() {
        QFETCH(int, tab);
        QFETCH(int, lines);
        QVERIFY(WithViewer(PlainMessage("Long", lines), [tab](Tdlg_oe_Msg& dialog) {
            dialog.show();
            dialog.pc->setCurrentIndex(tab);
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            const TTextView& view = tab == 0 ? static_cast<TTextView&>(*dialog.Memo) : *dialog.SynMemo;
            QCOMPARE(view.verticalScrollBar()->value(), 0);
            QCOMPARE(FirstLineInView(view), 0LL);
        }));
    }

    void attachmentNamesAndTypesShowInFull() {
        const std::vector<std::pair<std::string, std::string>> files = {
            {"application/pdf", "Quarterly figures for the board meeting in September 2024 (final).pdf"},
            {"application/vnd.ms-excel", "budget.xls"},
            {"application/x-msdownload", "setup_with_a_rather_long_name_v2.exe"},
            {"image/png", "a.png"}};
        QVERIFY(WithViewer(WithAttachments("Files", files), [](Tdlg_oe_Msg& dialog) {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            QCOMPARE(dialog.List->count(), 4);
            VerifyNamesInFull(*dialog.List);
            for (int row = 0; row < dialog.List->count(); ++row) {
                dialog.List->setCurrentRow(row);
                const QString type = dialog.eAI->text();
                QVERIFY(!type.isEmpty());
                QVERIFY2(dialog.eAI->width() >= dialog.eAI->fontMetrics().horizontalAdvance(type), qPrintable(type));
            }
        }));
    }

    void viewerStepsThroughItsListInPlace() {
        const std::vector<std::string> list = {WithAttachments("First", {{"application/octet-stream", "one.bin"}}),
                                               PlainMessage("Second", 3),
                                               WithAttachments("Third", {{"application/octet-stream", "three.bin"}})};
        // The third one is found again as deleted, with a notice.
        TTextSession store(list);
        TFoundMessage deleted;
        deleted.Kind = TFoundKind::Deleted;
        deleted.LostBytes = 4;
        store.SetFound({{deleted, list[2]}});
        const std::vector<TMessageHandle> handles = {store.Indexed(0), store.Indexed(1), store.Recovered(0)};
        int position = 1;
        Tdlg_oe_Msg dialog;
        dialog.LoadHandle(handles[1]);
        QVERIFY(!dialog.bNext->isVisibleTo(&dialog));
        TMessageStep step;
        step.Has = [&](int by) { return position + by >= 0 && position + by < static_cast<int>(handles.size()); };
        step.Move = [&](int by) {
            if (!step.Has(by)) return TMessageHandle();
            position += by;
            return handles[static_cast<size_t>(position)];
        };
        dialog.SetMessageStep(step);
        QVERIFY(dialog.bNext->isVisibleTo(&dialog));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Key, modifier, the subject then shown and its number of attachments (not piling up).
        const std::vector<std::tuple<Qt::Key, Qt::KeyboardModifier, QString, int>> keys = {
            {Qt::Key_Period, Qt::ControlModifier, "Third", 1},
            {Qt::Key_Period, Qt::ControlModifier, "Third", 1},
            {Qt::Key_Left, Qt::AltModifier, "Second", 0},
            {Qt::Key_Comma, Qt::ControlModifier, "First", 1},
            {Qt::Key_Right, Qt::AltModifier, "Second", 0}};
        for (const auto& [key, modifier, subject, attachments] : keys) {
            QTest::keyClick(&dialog, key, modifier);
            QCOMPARE(dialog.eSubject->text(), subject);
            QCOMPARE(dialog.List->count(), attachments);
            QCOMPARE(dialog.MoxMsg.AttachedFiles.Count(), static_cast<size_t>(attachments));
        }
        dialog.bNext->click();
        QCOMPARE(dialog.eSubject->text(), QStringLiteral("Third"));
        QVERIFY(dialog.lNotice->isVisibleTo(&dialog));
        QCOMPARE(dialog.SynMemo->LineText(2), QStringLiteral("Subject: Third"));
    }

    // Previous is greyed on the list's first message and Next on its last, and each comes back
    // once there is a message that way again.
    void stepButtonsAreGreyedAtTheEndsOfTheList() {
        const std::vector<std::string> list = {PlainMessage("One", 1), PlainMessage("Two", 1),
                                               PlainMessage("Three", 1)};
        TTextSession store(list);
        int position = 0;
        TMessageStep step;
        step.Has = [&](int by) { return position + by >= 0 && position + by < static_cast<int>(list.size()); };
        step.Move = [&](int by) {
            if (!step.Has(by)) return TMessageHandle();
            position += by;
            return store.Indexed(static_cast<size_t>(position));
        };
        Tdlg_oe_Msg dialog;
        dialog.LoadHandle(store.Indexed(0));
        dialog.SetMessageStep(step);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // Subject shown after the click, then whether Previous and Next can be used.
        const std::vector<std::tuple<QPushButton*, QString, bool, bool>> clicks = {
            {dialog.bNext, "Two", true, true},
            {dialog.bNext, "Three", true, false},
            {dialog.bPrevious, "Two", true, true},
            {dialog.bPrevious, "One", false, true}};
        QVERIFY(!dialog.bPrevious->isEnabled());
        QVERIFY(dialog.bNext->isEnabled());
        for (const auto& [button, subject, previous, next] : clicks) {
            button->click();
            QCOMPARE(dialog.eSubject->text(), subject);
            QCOMPARE(dialog.bPrevious->isEnabled(), previous);
            QCOMPARE(dialog.bNext->isEnabled(), next);
        }
        // A greyed button's key does nothing either.
        QTest::keyClick(&dialog, Qt::Key_Comma, Qt::ControlModifier);
        QCOMPARE(dialog.eSubject->text(), QStringLiteral("One"));
    }

    void attachedMessageOpensInAViewerOfItsOwn() {
        // The lines of the attached message are made CR LF with the rest.
        const std::string inner = Headers("Inner message") + "\nInner text\n";
        const std::string outer = Multipart(Headers("Outer"), "mixed",
                                            {{"Content-Type: text/plain\n", "Forwarded below.\n"},
                                             {"Content-Type: message/rfc822; name=\"inner.eml\"\nContent-Disposition: "
                                              "attachment; filename=\"inner.eml\"\n",
                                              inner}});
        QStringList shown;
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(outer);
        QCOMPARE(dialog.List->count(), 1);
        const auto previous = ViewerHooks().RunModal;
        ViewerHooks().RunModal = [&](QDialog& nested) { shown << dynamic_cast<Tdlg_oe_Msg&>(nested).eSubject->text(); };
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect item = dialog.List->visualItemRect(dialog.List->item(0));
        // A double-click follows the press of its first click.
        QTest::mouseClick(dialog.List->viewport(), Qt::LeftButton, {}, item.center());
        QTest::mouseDClick(dialog.List->viewport(), Qt::LeftButton, {}, item.center());
        ViewerHooks().RunModal = previous;
        QCOMPARE(shown, QStringList{QStringLiteral("Inner message")});
        QVERIFY(openedFiles_.isEmpty());
        QVERIFY(questions_.isEmpty());
    }

    void attachmentsOpenThroughTheDesktop_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("risky");
        QTest::addColumn<bool>("answer");
        QTest::newRow("pdf") << "application/pdf"
                             << "report.pdf" << false << false;
        QTest::newRow("exe, yes") << "application/octet-stream"
                                  << "setup.EXE" << true << true;
        QTest::newRow("exe, no") << "application/octet-stream"
                                 << "setup.exe" << true << false;
        QTest::newRow("script") << "application/octet-stream"
                                << "install.sh" << true << true;
        QTest::newRow("launcher") << "application/x-desktop"
                                  << "app.desktop" << true << false;
        QTest::newRow("trailing dot") << "application/octet-stream"
                                      << "run.bat." << true << false;
        QTest::newRow("type only") << "application/x-msdownload"
                                   << "tool" << true << false;
        QTest::newRow("picture") << "image/png"
                                 << "photo.png" << false << false;
    }
    void attachmentsOpenThroughTheDesktop() {
        QFETCH(QString, type);
        QFETCH(QString, name);
        QFETCH(bool, risky);
        QFETCH(bool, answer);
        answerYes_ = answer;
        Tdlg_oe_Msg dialog;
        dialog.LoadMessage(WithAttachments("Files", {{type.toStdString(), name.toStdString()}}));
        dialog.OpenAttachmentItem(0);
        QCOMPARE(questions_.size(), risky ? 1 : 0);
        const bool opens = !risky || answer;
        QCOMPARE(openedFiles_.size(), opens ? 1 : 0);
        if (!opens) return;
        const QString path = openedFiles_[0].toLocalFile();
        const QString folder = QFileInfo(path).absolutePath();
        QCOMPARE(folder, PrivateAttachmentFolder());
        QCOMPARE(ModeOf(folder), mode_t{0700});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("data of ") + name.toUtf8());
        // A second opening of the same name writes a file of its own.
        dialog.OpenAttachmentItem(0);
        QCOMPARE(openedFiles_.size(), 2);
        QVERIFY(openedFiles_[1] != openedFiles_[0]);
        QCOMPARE(QFileInfo(openedFiles_[1].toLocalFile()).absolutePath(), folder);
    }

    // The files a winmail.dat carries follow it in the viewer's and the pane's lists.
    void tnefContentShowsAsAttachments() {
        const std::string tnef = testsupport::BuildTnef(
            {{"plan.doc", "plan bytes", std::nullopt, std::nullopt}, {"map.png", "png bytes", std::nullopt, std::nullopt}});
        std::vector<TPart> parts = {{"Content-Type: text/plain; charset=us-ascii\n", "See the files.\n"},
                                    Base64Attachment("application/ms-tnef", "winmail.dat", tnef)};
        const std::string raw = Multipart(Headers("Office mail"), "mixed", parts);
        const QStringList expected = {QStringLiteral("winmail.dat"), QStringLiteral("plan.doc"),
                                      QStringLiteral("map.png")};
        auto names = [](const QListWidget& list) {
            QStringList shown;
            for (int row = 0; row < list.count(); ++row) shown << list.item(row)->text();
            return shown;
        };
        QVERIFY(WithViewer(raw, [&](Tdlg_oe_Msg& dialog) {
            QCOMPARE(names(*dialog.List), expected);
            QCOMPARE(dialog.MoxMsg.AttachedFiles.Items(1).Data, std::string("plan bytes"));
        }));
        TReadingPane pane;
        pane.ShowMessage(TMessageHandle::OfText(raw));
        QTRY_VERIFY(!pane.Busy());
        QCOMPARE(names(*pane.List), expected);
    }

    void readingPaneServesOnlyTheLastRequest() {
        TReadingPane pane;
        pane.resize(500, 400);
        pane.show();
        std::vector<std::string> texts(5, PlainMessage("Repeat", 2));
        texts.push_back(WithAttachments("Last", {{"image/png", "photo.png"}}));
        texts.push_back("");
        TTextSession store(texts);
        for (size_t i = 0; i < 6; ++i) pane.ShowMessage(store.Indexed(i));
        QVERIFY(pane.Busy());
        QTRY_VERIFY(!pane.Busy());
        QCOMPARE(store.Reader->Reads, std::vector<int32_t>{5});
        QCOMPARE(store.Reader->ReadThread, QThread::currentThreadId());
        QCOMPARE(pane.eSubject->text(), QStringLiteral("Last"));
        QCOMPARE(pane.eFrom->text(), QStringLiteral("Alice Example <alice@example.com>"));
        QVERIFY(pane.Text->toPlainText().contains(u"See the files."));
        QCOMPARE(pane.List->count(), 1);
        QVERIFY(pane.List->isVisibleTo(&pane));
        VerifyNamesInFull(*pane.List);

        // A message without text, and one whose store is gone, show nothing.
        for (const TMessageHandle& nothing : {store.Indexed(6), TMessageHandle()}) {
            pane.ShowMessage(store.Indexed(5));
            QTRY_VERIFY(!pane.Busy());
            pane.ShowMessage(nothing);
            QTRY_VERIFY(!pane.Busy());
            QVERIFY(pane.eSubject->text().isEmpty());
            QVERIFY(!pane.List->isVisibleTo(&pane));
            QVERIFY(!pane.lNotice->isVisibleTo(&pane));
        }
    }

    // The pane shows the HTML form of a text offered in two; a plain form alone keeps its lines.
    void paneShowsOneFormOfTheText() {
        const TPart plain{"Content-Type: text/plain\n", "Plain line one\nPlain line two\n"};
        const TPart html{"Content-Type: text/html\n", "<p>Rich <b>form</b></p>\n"};
        struct Case {
            std::string raw;
            bool html;
            QStringList lines;
        };
        const std::vector<Case> cases = {
            {Multipart(Headers("Both"), "alternative", {plain, html}), true, {QStringLiteral("Rich form")}},
            {Multipart(Headers("Both"), "alternative", {html, plain}), true, {QStringLiteral("Rich form")}},
            {Multipart(Headers("Plain"), "alternative", {plain}), false,
             {QStringLiteral("Plain line one"), QStringLiteral("Plain line two")}},
        };
        for (const Case& c : cases) {
            TReadingPane pane;
            pane.ShowMessage(TMessageHandle::OfText(c.raw));
            QTRY_VERIFY(!pane.Busy());
            QCOMPARE(pane.HTMLViewer->isVisibleTo(&pane), c.html);
            QString shown = c.html ? pane.HTMLViewer->toPlainText() : pane.Text->toPlainText();
            QStringList lines = shown.split(QLatin1Char('\n'));
            for (QString& line : lines) line = line.trimmed();
            lines.removeAll(QString());
            QCOMPARE(lines, c.lines);
        }
    }

    // Each caption stands apart from its value: bold or in another colour; Cc shows only when
    // the message has one.
    void paneCaptionsStandApartFromTheirValues() {
        const std::string copied =
            SinglePart(Headers("Copied") + "Cc: Carol <carol@example.com>\n", "text/plain; charset=us-ascii", "Text\n");
        TReadingPane pane;
        pane.resize(500, 400);
        pane.show();
        pane.ShowMessage(TMessageHandle::OfText(copied));
        QTRY_VERIFY(!pane.Busy());
        QCOMPARE(pane.eTo->text(), QStringLiteral("bob@example.com"));
        QCOMPARE(pane.eCc->text(), QStringLiteral("Carol <carol@example.com>"));
        QStringList captions;
        for (QLineEdit* value : {pane.eFrom, pane.eTo, pane.eCc, pane.eSubject, pane.eSent}) {
            QLabel* caption = nullptr;
            for (QLabel* label : pane.findChildren<QLabel*>())
                if (label->buddy() == value) caption = label;
            QVERIFY2(caption, qPrintable(value->objectName()));
            captions << caption->text();
            const bool bolder = caption->font().bold() != value->font().bold();
            const bool otherColour =
                caption->palette().color(QPalette::WindowText) != value->palette().color(QPalette::Text);
            QVERIFY2(bolder || otherColour, qPrintable(caption->text()));
            QVERIFY(caption->isVisibleTo(&pane));
        }
        QCOMPARE(captions, (QStringList{"From:", "To:", "Cc:", "Subject:", "Date:"}));
        pane.ShowMessage(TMessageHandle::OfText(PlainMessage("Alone", 1)));
        QTRY_VERIFY(!pane.Busy());
        QVERIFY(!pane.eCc->isVisibleTo(&pane));
        QVERIFY(pane.eTo->isVisibleTo(&pane));
    }

    // A recovered message tells in the viewer and the pane alike how it was found; one whose
    // chain breaks off tells where.
    void recoveredMessagesTellHowTheyWereFound() {
        const std::string text = PlainMessage("Found again", 40);
        TFoundMessage partial;
        partial.Kind = TFoundKind::Partial;
        partial.Size = text.size();
        TFoundMessage deleted;
        deleted.Kind = TFoundKind::Deleted;
        deleted.LostBytes = 12;
        TTextSession store({text});
        store.SetFound({{partial, text}, {deleted, text}});
        const QString breaksOff =
            QStringLiteral("This message breaks off after %1 bytes; the rest was not found.").arg(text.size());
        const std::vector<std::pair<TMessageHandle, QString>> cases = {
            {store.Recovered(0), breaksOff},
            {store.Recovered(1), QStringLiteral("Recovered from deleted space: 12 bytes are lost.")},
            {store.Indexed(0), QString()}};
        TReadingPane pane;
        pane.show();
        for (const auto& [message, notice] : cases) {
            pane.ShowMessage(message);
            QTRY_VERIFY(!pane.Busy());
            QCOMPARE(pane.eSubject->text(), QStringLiteral("Found again"));
            QCOMPARE(pane.lNotice->isVisibleTo(&pane), !notice.isEmpty());
            QCOMPARE(pane.lNotice->text(), notice);
            Tdlg_oe_Msg dialog;
            dialog.LoadHandle(message);
            QCOMPARE(dialog.lNotice->text(), notice);
        }
    }

    // The HTML control would parse and lay out a large document on the GUI thread.
    void largeHtmlShowsAsTextInThePane() {
        std::string html;
        while (html.size() < 300 * 1024) html += "<p>Paragraph with <b>bold</b> words &amp; more.</p>\n";
        const std::string raw = SinglePart(Headers("Large"), "text/html; charset=utf-8", html);
        TReadingPane pane;
        pane.ShowMessage(TMessageHandle::OfText(raw));
        QTRY_VERIFY(!pane.Busy());
        QCOMPARE(pane.eSubject->text(), QStringLiteral("Large"));
        QVERIFY(!pane.HTMLViewer->isVisibleTo(&pane));
        QVERIFY(pane.Text->isVisibleTo(&pane));
        QVERIFY(pane.lNotice->isVisibleTo(&pane));
        QCOMPARE(pane.Text->LineText(0), QStringLiteral("Paragraph with bold words & more."));
        QVERIFY(!pane.Text->toPlainText().contains(u'<'));
    }
};

QTEST_MAIN(ReadingTest)
#include "ReadingTest.moc"
