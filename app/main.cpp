// Program entry: sets the application title, creates the main window and runs the GUI loop.
#include "app/MainWindow.h"
#include "app/Screenshot.h"
#include "components/DefaultHandler.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korvane"));
    QApplication::setApplicationName(QStringLiteral("Brindle"));
    brindle::SetApplicationTitle(QStringLiteral("Brindle"));

    QStringList arguments = QApplication::arguments();
    const brindle::TScreenshotOptions screenshot = brindle::TakeScreenshotOptions(arguments);
    brindle::Twnd_oe_Main window(arguments);
    window.show();
    if (!screenshot.FileName.isEmpty()) brindle::TakeScreenshotWhenReady(window, screenshot);
    return app.exec();
}
