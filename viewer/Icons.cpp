#include "viewer/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace brindle {
namespace {

constexpr int kIconSize = 32;

QPixmap TransparentCanvas() {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawEnvelope(QPainter& painter) {
    const QRectF body(1.5, 6.5, 25, 18);
    painter.setPen(QPen(QColor(96, 96, 96), 1));
    painter.setBrush(QColor(250, 246, 232));
    painter.drawRect(body);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(body.center().x(), body.top() + 10);
    flap.lineTo(body.topRight());
    painter.setBrush(QColor(236, 228, 204));
    painter.drawPath(flap);
    painter.drawLine(body.bottomLeft(), QPointF(body.left() + 9, body.top() + 8));
    painter.drawLine(body.bottomRight(), QPointF(body.right() - 9, body.top() + 8));
}

void DrawInfoBadge(QPainter& painter) {
    const QRectF badge(17, 17, 14, 14);
    painter.setPen(QPen(QColor(16, 56, 140), 1));
    painter.setBrush(QColor(40, 100, 210));
    painter.drawEllipse(badge);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(23, 19.5, 2.2, 2.2));
    painter.drawRect(QRectF(23, 23, 2.2, 6));
}

void DrawGlobe(QPainter& painter) {
    const QRectF globe(12, 10, 19, 19);
    painter.setPen(QPen(QColor(20, 70, 150), 1));
    painter.setBrush(QColor(70, 140, 225));
    painter.drawEllipse(globe);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 160, 70));
    QPainterPath land;
    land.moveTo(16, 14);
    land.cubicTo(20, 12, 24, 15, 22, 18);
    land.cubicTo(20, 21, 17, 20, 15, 18);
    land.closeSubpath();
    land.moveTo(24, 21);
    land.cubicTo(28, 20, 30, 23, 27, 26);
    land.cubicTo(25, 27, 23, 25, 24, 21);
    land.closeSubpath();
    painter.drawPath(land);
    painter.setPen(QPen(QColor(255, 255, 255, 110), 0.8));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(17, 10, 9, 19));
    painter.drawLine(QPointF(12, 19.5), QPointF(31, 19.5));
}

void DrawSheet(QPainter& painter) {
    const QRectF sheet(2.5, 1.5, 17, 22);
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - 5, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + 5);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    painter.setPen(QPen(QColor(110, 110, 110), 1));
    painter.setBrush(Qt::white);
    painter.drawPath(outline);
    painter.setPen(QPen(QColor(40, 80, 200), 1.2));
    for (int row = 0; row < 5; ++row) {
        const double y = sheet.top() + 7 + row * 3;
        const double end = row == 4 ? sheet.left() + 9 : sheet.right() - 3;
        painter.drawLine(QPointF(sheet.left() + 3, y), QPointF(end, y));
    }
}

}  // namespace

QPixmap EnvelopeIcon() {
    QPixmap pixmap = TransparentCanvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawEnvelope(painter);
    DrawInfoBadge(painter);
    return pixmap;
}

QPixmap AttachmentIcon() {
    QPixmap pixmap = TransparentCanvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawGlobe(painter);
    DrawSheet(painter);
    return pixmap;
}

}  // namespace brindle
