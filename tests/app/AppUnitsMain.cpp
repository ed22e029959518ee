// Runs the test classes of the window's parts on the offscreen platform.
#include <QApplication>

int RunCellTextsTest(int argc, char** argv);
int RunListModelTest(int argc, char** argv);
int RunHelpersTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    failures += RunCellTextsTest(argc, argv);
    failures += RunListModelTest(argc, argv);
    failures += RunHelpersTest(argc, argv);
    return failures == 0 ? 0 : 1;
}
