#include "app/Screenshot.h"

#include "app/MainWindow.h"
#include "app/MessageListModel.h"

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace brindle {
namespace {

// Long enough for the file named on the command line to be opened and painted.
constexpr int kSettleMilliseconds = 700;

void FocusRow(Twnd_oe_Main& window, int row) {
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("Tree"));
    if (!tree || window.ListModel()->rowCount() == 0) return;
    tree->setFocus();
    tree->setCurrentIndex(window.ListModel()->index(std::clamp(row, 0, window.ListModel()->rowCount() - 1), 0));
}

}  // namespace

TScreenshot TakeScreenshotOptions(QStringList& arguments) {
    TScreenshot shot;
    if (arguments.size() < 3 || arguments[1] != QStringLiteral("--screenshot")) return shot;
    shot.FileName = arguments[2];
    arguments.remove(1, 2);
    while (arguments.size() > 1) {
        if (arguments[1] == QStringLiteral("--reading-pane")) {
            shot.ReadingPane = true;
            arguments.remove(1);
        } else if (arguments[1] == QStringLiteral("--row") && arguments.size() > 2) {
            shot.Row = arguments[2].toInt();
            arguments.remove(1, 2);
        } else {
            break;
        }
    }
    return shot;
}

void TakeScreenshotWhenReady(Twnd_oe_Main& window, const TScreenshot& shot) {
    if (shot.ReadingPane)
        if (auto* pane = window.findChild<QAction*>(QStringLiteral("mmReadingPane")); pane && !pane->isChecked())
            pane->trigger();
    QTimer::singleShot(kSettleMilliseconds, &window, [&window, shot] {
        FocusRow(window, shot.Row);
        QTimer::singleShot(kSettleMilliseconds, &window, [&window, shot] {
            bool written = window.grab().save(shot.FileName);
            QApplication::exit(written ? 0 : 1);
        });
    });
}

}  // namespace brindle
