// Runs the main window's tests on the offscreen platform with settings in a temporary folder.
#include "tests/components/TestSettings.h"

#include <QApplication>

int RunMainWindowTest(int argc, char** argv);
int RunRescueScanTest(int argc, char** argv);
int RunFolderPaneTest(int argc, char** argv);
int RunReadingWindowTest(int argc, char** argv);
int RunSearchWindowTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    brindle::test::TTestSettings settings;
    int failures = RunMainWindowTest(argc, argv);
    failures += RunRescueScanTest(argc, argv);
    failures += RunFolderPaneTest(argc, argv);
    failures += RunReadingWindowTest(argc, argv);
    failures += RunSearchWindowTest(argc, argv);
    return failures == 0 ? 0 : 1;
}
