// Runs every test class of the components on the offscreen platform.
#include "tests/components/TestSettings.h"

#include <QApplication>

int RunBackgroundJobTest(int argc, char** argv);
int RunDefaultHandlerTest(int argc, char** argv);
namespace brindle {
int RunLastFoldersTest(int argc, char** argv);
}
int RunMRUListTest(int argc, char** argv);
int RunPersistentPositionTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    brindle::test::TTestSettings settings;
    int failures = 0;
    failures += RunBackgroundJobTest(argc, argv);
    failures += RunDefaultHandlerTest(argc, argv);
    failures += brindle::RunLastFoldersTest(argc, argv);
    failures += RunMRUListTest(argc, argv);
    failures += RunPersistentPositionTest(argc, argv);
    return failures == 0 ? 0 : 1;
}
