#pragma once
// Restores the owner window's size, place and state when the window is first placed on the
// screen, and saves them when the window goes away for good. The values live under the
// settings key GetRegistryKey() + "\Position": "Left", "Top", "Width", "Height" (the bounds in
// normal state) and "State" (0 normal, 1 minimized, 2 maximized).
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

namespace brindle {

class Korvane_PersistentPosition : public QObject {
    Q_OBJECT

public:
    // The owner must be a top-level window for the component to do anything.
    explicit Korvane_PersistentPosition(QWidget* owner);

    QString Manufacturer() const { return manufacturer_; }
    void SetManufacturer(const QString& value) { manufacturer_ = value; }
    // When empty, the application title is used.
    QString Product() const { return product_; }
    void SetProduct(const QString& value) { product_ = value; }
    QString Version() const { return version_; }
    void SetVersion(const QString& value) { version_ = value; }
    QString SubKey() const { return subKey_; }
    void SetSubKey(const QString& value) { subKey_ = value; }
    // When false, the position is neither restored nor saved.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }

    // Called by the owner once its properties are set: starts watching the owner. When the
    // owner is already on the screen the position is restored at once.
    void Loaded();

    // "Software[\Manufacturer]\Product-or-title[\Version][\SubKey]".
    QString GetRegistryKey() const;

    // The bounds at which a window stored at bounds appears: unchanged when enough of it lies
    // on one of the screens, otherwise moved onto the primary screen, its size kept as far
    // as the screen allows.
    static QRect VisibleBounds(const QRect& bounds);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadPosition();
    void SavePosition();
    QWidget* OwnerForm() const;
    QString PositionKey() const { return GetRegistryKey() + QStringLiteral("\\Position"); }

    QPointer<QWidget> owner_;
    QString manufacturer_;
    QString product_;
    QString version_;
    QString subKey_;
    bool enabled_ = true;
    bool positionLoaded_ = false;
    bool positionSaved_ = false;
};

}  // namespace brindle
