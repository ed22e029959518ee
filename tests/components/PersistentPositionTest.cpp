#include "components/PersistentPosition.h"

#include "components/DefaultHandler.h"
#include "tests/components/TestSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QWidget>

#include <memory>

using namespace brindle;
using brindle::test::TTestSettings;

namespace {

const QString kGroup = QStringLiteral("1.x/Position/");

struct TStoredPosition {
    int left, top, width, height, state;
};

void WritePosition(const TStoredPosition& p) {
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
    settings.setValue(kGroup + "Left", p.left);
    settings.setValue(kGroup + "Top", p.top);
    settings.setValue(kGroup + "Width", p.width);
    settings.setValue(kGroup + "Height", p.height);
    settings.setValue(kGroup + "State", p.state);
}

QVariant StoredValue(const QString& name) {
    return QSettings(QStringLiteral("Korvane"), QStringLiteral("Brindle")).value(kGroup + name);
}

// A top-level window with the component set up as the main window sets it up.
struct TForm {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Korvane_PersistentPosition* pp = new Korvane_PersistentPosition(window.get());
    TForm() {
        window->setGeometry(10, 10, 300, 200);
        pp->SetManufacturer(QStringLiteral("Korvane"));
        pp->SetProduct(QStringLiteral("Brindle"));
        pp->SetVersion(QStringLiteral("1.x"));
    }
    void Show() {
        pp->Loaded();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
};

}  // namespace

class PersistentPositionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TTestSettings::Clear(); }

    void registryKeyLeavesOutEmptyParts_data() {
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("subKey");
        QTest::addColumn<QString>("key");
        QTest::newRow("all") << "Korvane"
                             << "Brindle"
                             << "1.x"
                             << "Main"
                             << "Software\\Korvane\\Brindle\\1.x\\Main";
        QTest::newRow("program") << "Korvane"
                                 << "Brindle"
                                 << "1.x"
                                 << ""
                                 << "Software\\Korvane\\Brindle\\1.x";
        QTest::newRow("no maker") << ""
                                  << "Brindle"
                                  << ""
                                  << ""
                                  << "Software\\Brindle";
        QTest::newRow("title for product") << "Korvane"
                                           << ""
                                           << ""
                                           << ""
                                           << "Software\\Korvane\\Brindle";
    }
    void registryKeyLeavesOutEmptyParts() {
        QFETCH(QString, manufacturer);
        QFETCH(QString, product);
        QFETCH(QString, version);
        QFETCH(QString, subKey);
        QFETCH(QString, key);
        SetApplicationTitle(QStringLiteral("Brindle"));
        QWidget owner;
        Korvane_PersistentPosition pp(&owner);
        pp.SetManufacturer(manufacturer);
        pp.SetProduct(product);
        pp.SetVersion(version);
        pp.SetSubKey(subKey);
        QCOMPARE(pp.GetRegistryKey(), key);
    }

    void closingSavesBoundsAndState() {
        TForm form;
        form.Show();
        form.window->setGeometry(40, 50, 320, 240);
        QTRY_COMPARE(form.window->geometry(), QRect(40, 50, 320, 240));
        form.window->close();
        QCOMPARE(StoredValue("Left").toInt(), 40);
        QCOMPARE(StoredValue("Top").toInt(), 50);
        QCOMPARE(StoredValue("Width").toInt(), 320);
        QCOMPARE(StoredValue("Height").toInt(), 240);
        QCOMPARE(StoredValue("State").toInt(), 0);
    }

    void firstShowRestoresTheStoredBounds() {
        WritePosition({30, 40, 350, 260, 0});
        TForm form;
        form.Show();
        QCOMPARE(form.window->geometry(), QRect(30, 40, 350, 260));
        QVERIFY(!form.window->isMaximized());
    }

    void maximizedWindowStoresNormalBoundsAndComesBackMaximized() {
        {
            TForm form;
            form.Show();
            form.window->setGeometry(20, 30, 300, 200);
            QTRY_COMPARE(form.window->geometry(), QRect(20, 30, 300, 200));
            form.window->showMaximized();
            QTRY_VERIFY(form.window->isMaximized());
            form.window->close();
        }
        QCOMPARE(StoredValue("State").toInt(), 2);
        QCOMPARE(StoredValue("Width").toInt(), 300);
        TForm again;
        again.Show();
        QTRY_VERIFY(again.window->isMaximized());
        again.window->showNormal();
        QTRY_COMPARE(again.window->geometry(), QRect(20, 30, 300, 200));
    }

    // C2: a position stored for a screen that is gone must not hide the window.
    void positionOffEveryScreenIsMovedOntoThePrimaryScreen() {
        WritePosition({5000, -4000, 300, 200, 0});
        TForm form;
        form.Show();
        QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(area.contains(form.window->geometry()));
        QCOMPARE(form.window->size(), QSize(300, 200));
    }

    void visibleBoundsKeepsWhatIsOnAScreen() {
        QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QRect partly(area.right() - 100, area.top() + 10, 400, 300);
        QCOMPARE(Korvane_PersistentPosition::VisibleBounds(partly), partly);
        QRect huge(-9000, -9000, area.width() * 3, 50);
        QRect moved = Korvane_PersistentPosition::VisibleBounds(huge);
        QCOMPARE(moved.size(), QSize(area.width(), 50));
        QVERIFY(area.contains(moved));
        QRect sliver(area.right() - 5, area.top(), 300, 300);
        QVERIFY(Korvane_PersistentPosition::VisibleBounds(sliver) != sliver);
    }

    void missingValueStopsTheRestoreSilently() {
        QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Brindle"));
        settings.setValue(kGroup + "Width", 333);
        settings.setValue(kGroup + "Height", 222);
        settings.sync();
        TForm form;
        form.Show();
        QCOMPARE(form.window->geometry(), QRect(10, 10, 300, 200));
    }

    void disabledComponentNeitherRestoresNorSaves() {
        WritePosition({30, 40, 350, 260, 0});
        TForm form;
        form.pp->SetEnabled(false);
        form.Show();
        QCOMPARE(form.window->geometry(), QRect(10, 10, 300, 200));
        form.window->setGeometry(60, 60, 200, 150);
        form.window->close();
        QCOMPARE(StoredValue("Left").toInt(), 30);
    }

    void stateOutsideTheKnownValuesMeansNormal() {
        WritePosition({30, 40, 350, 260, 7});
        TForm form;
        form.Show();
        QVERIFY(!form.window->isMaximized());
        QVERIFY(!form.window->isMinimized());
        QCOMPARE(form.window->geometry(), QRect(30, 40, 350, 260));
    }
};

int RunPersistentPositionTest(int argc, char** argv) {
    PersistentPositionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PersistentPositionTest.moc"
