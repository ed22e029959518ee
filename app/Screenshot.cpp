#include "app/Screenshot.h"

#include "app/AppHooks.h"
#include "app/FindDialog.h"
#include "app/MainWindow.h"
#include "app/MessageListModel.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace brindle {
namespace {

// Long enough for the file named on the command line to be opened and painted.
constexpr int kSettleMilliseconds = 700;
// The longest wait for a search of the find dialog.
constexpr int kSearchMilliseconds = 30000;

void FocusRow(Twnd_oe_Main& window, int row) {
    auto* tree = window.findChild<QTreeView*>(QStringLiteral("Tree"));
    if (!tree || window.ListModel()->rowCount() == 0) return;
    tree->setFocus();
    tree->setCurrentIndex(window.ListModel()->index(std::clamp(row, 0, window.ListModel()->rowCount() - 1), 0));
}

void Settle() {
    QEventLoop loop;
    QTimer::singleShot(kSettleMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The find dialog is shown without blocking, rendered once its search has ended, and the
// program ends.
void ShootFindDialog(Twnd_oe_Main& window, const QString& text, const QString& fileName) {
    AppHooks().RunModal = [fileName](QDialog& dialog) {
        dialog.show();
        auto* find = qobject_cast<TFindDialog*>(&dialog);
        if (find && find->Searching()) {
            QEventLoop loop;
            QObject::connect(find, &TFindDialog::SearchEnded, &loop, &QEventLoop::quit);
            QTimer::singleShot(kSearchMilliseconds, &loop, &QEventLoop::quit);
            loop.exec();
        }
        Settle();
        QApplication::exit(dialog.grab().save(fileName) ? 0 : 1);
    };
    window.FindInMessages(text);
}

}  // namespace

TScreenshotOptions TakeScreenshotOptions(QStringList& arguments) {
    TScreenshotOptions options;
    while (arguments.size() > 1) {
        const QString& option = arguments[1];
        if (option == QStringLiteral("--reading-pane")) {
            options.ReadingPane = true;
            arguments.remove(1);
            continue;
        }
        if (arguments.size() < 3) break;
        if (option == QStringLiteral("--row")) {
            options.Row = arguments[2].toInt();
            arguments.remove(1, 2);
            continue;
        }
        QString* value = option == QStringLiteral("--screenshot") ? &options.FileName
                         : option == QStringLiteral("--filter")   ? &options.Filter
                         : option == QStringLiteral("--find")     ? &options.Find
                                                                  : nullptr;
        if (!value) break;
        *value = arguments[2];
        arguments.remove(1, 2);
    }
    return options;
}

void TakeScreenshotWhenReady(Twnd_oe_Main& window, const TScreenshotOptions& options) {
    if (options.ReadingPane)
        if (auto* pane = window.findChild<QAction*>(QStringLiteral("mmReadingPane")); pane && !pane->isChecked())
            pane->trigger();
    QTimer::singleShot(kSettleMilliseconds, &window, [&window, options] {
        if (!options.Find.isEmpty()) return ShootFindDialog(window, options.Find, options.FileName);
        if (!options.Filter.isEmpty())
            if (auto* box = window.findChild<QLineEdit*>(QStringLiteral("FilterBox"))) box->setText(options.Filter);
        FocusRow(window, options.Row);
        QTimer::singleShot(kSettleMilliseconds, &window, [&window, fileName = options.FileName] {
            bool written = window.grab().save(fileName);
            QApplication::exit(written ? 0 : 1);
        });
    });
}

}  // namespace brindle
