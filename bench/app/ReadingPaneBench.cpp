// Measures how long the main window's GUI thread stands still while the reading pane follows
// the arrow keys over large messages:
//   reading_pane_bench [DIR]      (DIR for the store, default /tmp)
// The store holds small messages around a 20 MB plain-text one and a 20 MB HTML one.
// Reported for each key press onto a row: the key's own handling, the longest gap between two
// ticks of a 1 ms timer until the pane shows the message (what a user feels as a stall), and
// the time until it shows.
#include "StoreWriter.h"
#include "app/MainWindow.h"
#include "components/DefaultHandler.h"
#include "viewer/ReadingPane.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace brindle;

namespace {

constexpr size_t kLargeBytes = 20u << 20;

testsupport::TStoreMessage BenchMessage(uint32_t index, const std::string& subject, size_t bytes, bool html) {
    testsupport::TStoreMessage m;
    m.Index = index;
    m.Subject = subject;
    m.SenderName = "Sender";
    m.SenderAddress = "sender@example.org";
    m.Received = testsupport::FileTimeOf(2004, 5, 6, 7, 8, 9);
    std::string body;
    const std::string line = html ? "<p>Lorem <b>ipsum</b> dolor sit amet, consectetur adipiscing.</p>\r\n"
                                  : "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\r\n";
    while (body.size() < bytes) body += line;
    m.Text = testsupport::MessageText({"From: Sender <sender@example.org>", "Subject: " + subject,
                                       html ? "Content-Type: text/html" : "Content-Type: text/plain"},
                                      body);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    const QString store = QStringLiteral("%1/ReadingPaneBench.dbx").arg(argc > 1 ? argv[1] : "/tmp");
    if (!QFileInfo::exists(store)) {
        testsupport::TDbxOptions options;
        options.FolderName = "Bench";
        testsupport::TDbxWriter writer(QFile::encodeName(store).toStdString(), options);
        writer.Add(BenchMessage(1, "small one", 2000, false));
        writer.Add(BenchMessage(2, "20 MB plain", kLargeBytes, false));
        writer.Add(BenchMessage(3, "small two", 2000, false));
        writer.Add(BenchMessage(4, "20 MB html", kLargeBytes, true));
        writer.Add(BenchMessage(5, "small three", 2000, false));
        writer.Finish();
    }
    SetMessageBoxPresenter([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        std::exit(1);
    });

    Twnd_oe_Main window({QStringLiteral("brindle")});
    window.show();
    window.findChild<QAction*>(QStringLiteral("mmReadingPane"))->trigger();
    RunGuarded([&] { window.LoadFile(store); }, &window);
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("Tree"));
    TReadingPane* pane = window.ReadingPane();
    tree->setFocus();

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticks;
    ticks.setInterval(1);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticks.start();
    std::printf("%-14s %12s %14s %12s\n", "row", "key [ms]", "stall [ms]", "shown [ms]");
    for (int row = 0; row < 5; ++row) {
        clock.start();
        lastTick = 0;
        longestGap = 0;
        QKeyEvent press(QEvent::KeyPress, row == 0 ? Qt::Key_Home : Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(tree, &press);
        const qint64 key = clock.elapsed();
        while (pane->Busy()) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const qint64 shown = clock.elapsed();
        longestGap = std::max(longestGap, shown - lastTick);
        std::printf("%-14s %12lld %14lld %12lld\n", qPrintable(pane->eSubject->text()), static_cast<long long>(key),
                    static_cast<long long>(longestGap), static_cast<long long>(shown));
    }
    return 0;
}
