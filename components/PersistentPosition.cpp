#include "components/PersistentPosition.h"

#include "components/DefaultHandler.h"
#include "components/SettingsKey.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace brindle {
namespace {

// A window counts as visible when a piece of at least this size lies on one screen.
constexpr int kMinVisibleWidth = 48;
constexpr int kMinVisibleHeight = 24;

enum : int { kStateNormal = 0, kStateMinimized = 1, kStateMaximized = 2 };

int StateValue(Qt::WindowStates states) {
    if (states & Qt::WindowMinimized) return kStateMinimized;
    if (states & Qt::WindowMaximized) return kStateMaximized;
    return kStateNormal;
}

// Values outside 0 to 2 mean the normal state.
Qt::WindowStates WindowStateOf(int value) {
    switch (value) {
        case kStateMinimized: return Qt::WindowMinimized;
        case kStateMaximized: return Qt::WindowMaximized;
        default: return Qt::WindowNoState;
    }
}

std::optional<int> ReadInteger(const QSettings& settings, const QString& name) {
    QVariant value = settings.value(name);
    if (!value.isValid()) return std::nullopt;
    bool ok = false;
    int number = value.toInt(&ok);
    if (!ok) return std::nullopt;
    return number;
}

bool LiesOnSomeScreen(const QRect& bounds) {
    const auto screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(), [&](const QScreen* screen) {
        QRect part = bounds.intersected(screen->availableGeometry());
        return part.width() >= kMinVisibleWidth && part.height() >= kMinVisibleHeight;
    });
}

}  // namespace

Korvane_PersistentPosition::Korvane_PersistentPosition(QWidget* owner) : QObject(owner), owner_(owner) {}

QWidget* Korvane_PersistentPosition::OwnerForm() const {
    return owner_ && owner_->isWindow() ? owner_.data() : nullptr;
}

void Korvane_PersistentPosition::Loaded() {
    if (!owner_) return;
    owner_->installEventFilter(this);
    if (owner_->isVisible()) LoadPosition();
}

QString Korvane_PersistentPosition::GetRegistryKey() const {
    QString key = QStringLiteral("Software");
    if (!manufacturer_.isEmpty()) key += u'\\' + manufacturer_;
    key += u'\\' + (product_.isEmpty() ? ApplicationTitle() : product_);
    if (!version_.isEmpty()) key += u'\\' + version_;
    if (!subKey_.isEmpty()) key += u'\\' + subKey_;
    return key;
}

QRect Korvane_PersistentPosition::VisibleBounds(const QRect& bounds) {
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary || LiesOnSomeScreen(bounds)) return bounds;
    QRect area = primary->availableGeometry();
    QSize size(std::min(bounds.width(), area.width()), std::min(bounds.height(), area.height()));
    QRect moved(QPoint(), size);
    moved.moveCenter(area.center());
    return moved;
}

bool Korvane_PersistentPosition::eventFilter(QObject* watched, QEvent* event) {
    if (watched == owner_) {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Show: LoadPosition(); break;
            case QEvent::Hide:
                // A spontaneous hide is the window system's (minimizing); any other hides the
                // window for good: it was closed or is being destroyed.
                if (!event->spontaneous()) SavePosition();
                break;
            default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void Korvane_PersistentPosition::LoadPosition() {
    if (positionLoaded_ || !enabled_) return;
    positionLoaded_ = true;
    QWidget* form = OwnerForm();
    if (!form) return;
    auto settings = OpenSettingsKey(PositionKey());
    if (settings->childKeys().isEmpty()) return;
    auto width = ReadInteger(*settings, QStringLiteral("Width"));
    if (!width) return;
    auto height = ReadInteger(*settings, QStringLiteral("Height"));
    if (!height) return;
    auto top = ReadInteger(*settings, QStringLiteral("Top"));
    if (!top) return;
    auto left = ReadInteger(*settings, QStringLiteral("Left"));
    if (!left) return;
    form->setGeometry(VisibleBounds(QRect(*left, *top, *width, *height)));
    // A native window that is not shown yet keeps its old bounds until it is; the window
    // state set below must start from the new ones.
    if (QWindow* handle = form->windowHandle(); handle && !form->isVisible()) handle->setGeometry(form->geometry());
    auto state = ReadInteger(*settings, QStringLiteral("State"));
    if (!state) return;
    form->setWindowState(WindowStateOf(*state));
}

void Korvane_PersistentPosition::SavePosition() {
    if (positionSaved_) return;
    positionSaved_ = true;
    QWidget* form = OwnerForm();
    if (!enabled_ || !form) return;
    int state = StateValue(form->windowState());
    QRect bounds = form->normalGeometry();
    if (bounds.isEmpty()) bounds = form->geometry();
    auto settings = OpenSettingsKey(PositionKey());
    settings->setValue(QStringLiteral("Left"), bounds.left());
    settings->setValue(QStringLiteral("Top"), bounds.top());
    settings->setValue(QStringLiteral("Width"), bounds.width());
    settings->setValue(QStringLiteral("Height"), bounds.height());
    settings->setValue(QStringLiteral("State"), state);
}

}  // namespace brindle
