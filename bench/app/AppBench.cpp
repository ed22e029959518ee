// Measures the main window on a large .dbx in one run:
//   app_bench [DIR] [COUNT]     (DIR for the store, default /tmp; COUNT default 100,000)
// The store (COUNT mails of about 2 KB and 20 mails of 1 MB, written with the test-only
// writer) is made once and kept in DIR. Reported: opening to the filled list (first and
// again), a header-click sort by Subject, Gather E-mail Addresses, the process memory with
// the list filled, how many cells the list asks for when it paints, and the filter box:
// typing a word key by key (the first key makes the rows' filter keys), deleting it again.
#include "StoreWriter.h"
#include "app/AppHooks.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"
#include "components/DefaultHandler.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace brindle;

namespace {

constexpr int kLargeMessages = 20;
constexpr size_t kLargeBodyBytes = 1 << 20;

const char* const kWords[] = {"project", "update", "meeting", "report", "invoice", "holiday", "photos", "budget",
                              "review",  "draft",  "agenda",  "notes",  "travel",  "family",  "order",  "status"};

std::string Word(uint32_t n) { return kWords[n % (sizeof(kWords) / sizeof(kWords[0]))]; }

testsupport::TStoreMessage BenchMessage(uint32_t i) {
    testsupport::TStoreMessage m;
    uint32_t person = (i * 7919u) % 5000u;
    m.Index = i + 1;
    m.Flags = (i % 3 == 0) ? 0 : 0x80;
    m.Priority = (i % 50 == 0) ? 1 : 3;
    m.Subject =
        (i % 4 == 0 ? "Re: " : "") + Word(i) + " " + Word(i / 16) + " " + std::to_string((i * 2654435761u) % 100000u);
    m.SenderName = "Person " + std::to_string(person);
    m.SenderAddress = "person" + std::to_string(person) + "@example.org";
    m.ReceiverName = "Reader " + std::to_string(i % 40);
    m.ReceiverAddress = "reader" + std::to_string(i % 40) + "@example.net";
    m.Received = testsupport::FileTimeOf(2003 + i % 5, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i / 60) % 60);
    std::string body;
    bool large = i % (100000 / kLargeMessages) == 7;
    size_t bodyBytes = large ? kLargeBodyBytes : 1700;
    while (body.size() < bodyBytes) body += "Lorem ipsum " + Word(body.size()) + " dolor sit amet, consectetur.\r\n";
    m.Text = testsupport::MessageText(
        {"From: " + m.SenderName + " <" + m.SenderAddress + ">",
         "To: " + m.ReceiverName + " <" + m.ReceiverAddress + ">", "Subject: " + m.Subject,
         "Date: Mon, 5 May 2003 10:00:00 +0000", "Message-ID: <" + std::to_string(i) + "@bench>"},
        body);
    return m;
}

void WriteBenchStore(const std::string& path, uint32_t count) {
    testsupport::TDbxOptions options;
    options.FolderName = "Bench";
    testsupport::TDbxWriter writer(path, options);
    for (uint32_t i = 0; i < count; ++i) writer.Add(BenchMessage(i));
    writer.Finish();
}

// Resident and peak memory of this process, in megabytes.
std::pair<double, double> ProcessMemoryMB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    double rss = 0, peak = 0;
    while (status >> key) {
        double kb = 0;
        if (key == "VmRSS:" && status >> kb) rss = kb / 1024.0;
        if (key == "VmHWM:" && status >> kb) peak = kb / 1024.0;
    }
    return {rss, peak};
}

// A limit of 0 means no target.
void Report(const char* what, double value, const char* unit, double limit) {
    if (limit <= 0) {
        std::printf("%-44s %10.1f %s\n", what, value, unit);
        return;
    }
    std::printf("%-44s %10.1f %-3s (target < %.0f %s) %s\n", what, value, unit, limit, unit,
                value < limit ? "ok" : "MISSED");
}

// Cells the list asks for while it paints its viewport once.
uint64_t DataCallsOfOnePaint(QTreeView* tree, TMessageListModel* model) {
    uint64_t before = model->DataCalls();
    tree->viewport()->repaint();
    return model->DataCalls() - before;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());

    QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    uint32_t count = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 100000;
    QString store = QStringLiteral("%1/AppBench-%2.dbx").arg(dir).arg(count);
    if (!QFileInfo::exists(store)) {
        QElapsedTimer writing;
        writing.start();
        WriteBenchStore(QFile::encodeName(store).toStdString(), count);
        std::printf("wrote %s (%.0f MB) in %.1f s\n", qPrintable(store), QFileInfo(store).size() / 1048576.0,
                    writing.elapsed() / 1000.0);
    }

    SetMessageBoxPresenter([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
        std::exit(1);
    });
    AppHooks().RunModal = [](QDialog&) {};

    Twnd_oe_Main window({QStringLiteral("brindle")});
    window.show();
    QApplication::processEvents();
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("Tree"));
    auto* memo = window.findChild<QPlainTextEdit*>(QStringLiteral("Memo"));
    TMessageListModel* model = window.ListModel();

    auto open = [&] {
        QElapsedTimer timer;
        timer.start();
        RunGuarded([&] { window.LoadFile(store); }, &window);
        tree->viewport()->repaint();
        return static_cast<double>(timer.elapsed());
    };
    double first = open();
    double warm = open();
    auto [rss, peak] = ProcessMemoryMB();

    QElapsedTimer timer;
    timer.start();
    RunGuarded([&] { window.TreeHeaderClick(TMessageListModel::colSubject); }, &window);
    tree->viewport()->repaint();
    double sortAscending = static_cast<double>(timer.elapsed());
    timer.start();
    RunGuarded([&] { window.TreeHeaderClick(TMessageListModel::colSubject); }, &window);
    tree->viewport()->repaint();
    double sortDescending = static_cast<double>(timer.elapsed());

    timer.start();
    RunGuarded([&] { window.cmGatherEmail(); }, &window);
    memo->viewport()->repaint();
    double gather = static_cast<double>(timer.elapsed());

    int rowHeight = tree->sizeHintForRow(0);
    int visibleRows = rowHeight > 0 ? tree->viewport()->height() / rowHeight + 1 : 0;
    uint64_t topCalls = DataCallsOfOnePaint(tree, model);
    tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->maximum() / 2);
    uint64_t middleCalls = DataCallsOfOnePaint(tree, model);

    // The filter box, key by key, each key until the list has repainted.
    auto* filterBox = window.findChild<QLineEdit*>(QStringLiteral("FilterBox"));
    const QString word = QStringLiteral("meeting");
    std::vector<double> keys;
    auto key = [&](auto press) {
        QElapsedTimer keyTimer;
        keyTimer.start();
        press();
        tree->viewport()->repaint();
        keys.push_back(static_cast<double>(keyTimer.nsecsElapsed()) / 1e6);
    };
    // The scan of the whole file that starts with the opening has ended when people type.
    QElapsedTimer scanWait;
    scanWait.start();
    while (window.ScanRunning() && scanWait.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    // Ctrl+F or a click gives the box the focus before the first key.
    QElapsedTimer focusTimer;
    focusTimer.start();
    filterBox->setFocus();
    QApplication::processEvents();
    const double focusing = static_cast<double>(focusTimer.nsecsElapsed()) / 1e6;
    for (QChar c : word) key([&] { QTest::keyClicks(filterBox, QString(c)); });
    const int filteredRows = model->rowCount();
    for (qsizetype i = 0; i < word.size(); ++i) key([&] { QTest::keyClick(filterBox, Qt::Key_Backspace); });
    std::printf("filter keys (ms):");
    for (double k : keys) std::printf(" %.1f", k);
    std::printf("\n");
    const double firstKey = keys.front();
    const double worstOther = *std::max_element(keys.begin() + 1, keys.end());

    std::printf("\n%u messages, %d rows in the list\n", count, model->rowCount());
    Report("open to filled list, first time", first, "ms", 0);
    Report("open to filled list, again (warm)", warm, "ms", 1500);
    Report("sort by Subject, ascending (header click)", sortAscending, "ms", 500);
    Report("sort by Subject, descending (header click)", sortDescending, "ms", 500);
    Report("Gather E-mail Addresses", gather, "ms", 1000);
    Report("process memory with the list filled (RSS)", rss, "MB", 150);
    Report("peak process memory so far (HWM)", peak, "MB", 0);
    Report("filter box takes the focus (makes the filter keys)", focusing, "ms", 0);
    Report("filter, first key", firstKey, "ms", 50);
    Report("filter, slowest later key (typing, deleting)", worstOther, "ms", 50);
    std::printf("%-44s %10d rows\n", "rows shown for \"meeting\"", filteredRows);
    std::printf("%-44s %10d rows\n", "rows visible", visibleRows);
    std::printf("%-44s %10llu (%.1f per visible cell)\n", "cells asked for, one paint at the top",
                static_cast<unsigned long long>(topCalls), double(topCalls) / std::max(1, visibleRows * 7));
    std::printf("%-44s %10llu (%.1f per visible cell)\n", "cells asked for, one paint in the middle",
                static_cast<unsigned long long>(middleCalls), double(middleCalls) / std::max(1, visibleRows * 7));
    return 0;
}
