#include "app/Screenshot.h"

#include "app/MainWindow.h"
#include "app/MessageListModel.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>

namespace brindle {
namespace {

// Long enough for the file named on the command line to be opened and painted.
constexpr int kSettleMilliseconds = 700;

void FocusFirstRow(Twnd_oe_Main& window) {
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("Tree"));
    if (!tree || window.ListModel()->rowCount() == 0) return;
    tree->setFocus();
    tree->setCurrentIndex(window.ListModel()->index(0, 0));
}

}  // namespace

void TakeScreenshotWhenReady(Twnd_oe_Main& window, const QString& fileName) {
    QTimer::singleShot(kSettleMilliseconds, &window, [&window, fileName] {
        FocusFirstRow(window);
        QTimer::singleShot(kSettleMilliseconds, &window, [&window, fileName] {
            bool written = window.grab().save(fileName);
            QApplication::exit(written ? 0 : 1);
        });
    });
}

}  // namespace brindle
