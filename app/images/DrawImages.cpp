// Draws the seven 16x16 list images into PNG files:
//   cmake --build BUILD --target brindle_draw_images && BUILD/app/images/brindle_draw_images app/images
// The PNGs are kept in the repository; run this only to change a picture.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 16;

void Save(const QString& folder, const char* name, const std::function<void(QPainter&)>& draw) {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    QString path = folder + u'/' + QString::fromLatin1(name) + QStringLiteral(".png");
    if (!image.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

void PaperClip(QPainter& p) {
    p.translate(8, 8);
    p.rotate(35);
    p.setPen(QPen(QColor(20, 20, 20), 1.3));
    p.setBrush(Qt::NoBrush);
    QPainterPath wire;
    wire.moveTo(-1.5, -3);
    wire.lineTo(-1.5, 4);
    wire.arcTo(-1.5, 2.5, 3, 3, 180, 180);
    wire.lineTo(1.5, -5);
    wire.arcTo(-3, -7.5, 4.5, 4.5, 0, 180);
    wire.lineTo(-3, 5);
    wire.arcTo(-3, 2, 6, 6, 180, 180);
    wire.lineTo(3, -2);
    p.drawPath(wire);
}

void Exclamation(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(215, 20, 20));
    QPainterPath bar;
    bar.moveTo(6, 1.5);
    bar.lineTo(10, 1.5);
    bar.lineTo(9, 10.5);
    bar.lineTo(7, 10.5);
    bar.closeSubpath();
    p.drawPath(bar);
    p.drawEllipse(QRectF(6.3, 11.8, 3.4, 3.4));
}

void DownArrow(QPainter& p) {
    p.setPen(QPen(QColor(10, 40, 140), 0.8));
    p.setBrush(QColor(40, 90, 220));
    QPainterPath arrow;
    arrow.moveTo(6, 1.5);
    arrow.lineTo(10, 1.5);
    arrow.lineTo(10, 8.5);
    arrow.lineTo(13.5, 8.5);
    arrow.lineTo(8, 14.5);
    arrow.lineTo(2.5, 8.5);
    arrow.lineTo(6, 8.5);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void Flag(QPainter& p) {
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    p.drawLine(QPointF(3.5, 1.5), QPointF(3.5, 15));
    p.setPen(QPen(QColor(150, 0, 0), 0.8));
    p.setBrush(QColor(225, 25, 25));
    QPainterPath cloth;
    cloth.moveTo(4, 2);
    cloth.cubicTo(7, 0.5, 9, 3.5, 13.5, 2);
    cloth.lineTo(13.5, 8.5);
    cloth.cubicTo(9, 10, 7, 7, 4, 8.5);
    cloth.closeSubpath();
    p.drawPath(cloth);
}

const QColor kPaper(250, 240, 200);
const QColor kEdge(120, 95, 40);

void ClosedEnvelope(QPainter& p) {
    p.setPen(QPen(kEdge, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.setBrush(Qt::NoBrush);
    QPainterPath flap;
    flap.moveTo(1.5, 3.5);
    flap.lineTo(8, 9);
    flap.lineTo(14.5, 3.5);
    p.drawPath(flap);
}

// The opened envelope drawn with the given edge and paper colours.
void OpenedEnvelopeIn(QPainter& p, const QColor& edge, const QColor& paper) {
    p.setPen(QPen(edge, 1));
    p.setBrush(paper.darker(110));
    QPainterPath back;
    back.moveTo(1.5, 7.5);
    back.lineTo(8, 1.5);
    back.lineTo(14.5, 7.5);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 4.5, 9, 6));
    p.setBrush(paper);
    QPainterPath front;
    front.moveTo(1.5, 7.5);
    front.lineTo(8, 12);
    front.lineTo(14.5, 7.5);
    front.lineTo(14.5, 14.5);
    front.lineTo(1.5, 14.5);
    front.closeSubpath();
    p.drawPath(front);
}

void OpenedEnvelope(QPainter& p) { OpenedEnvelopeIn(p, kEdge, kPaper); }

// The opened envelope in greys with a green arrow turning back: a message brought back from
// space that the index no longer reaches.
void RecoveredEnvelope(QPainter& p) {
    OpenedEnvelopeIn(p, QColor(110, 110, 110), QColor(225, 225, 225));
    p.setPen(QPen(QColor(20, 130, 40), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(8.5, 8.5, 6, 6), 90 * 16, 270 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 130, 40));
    QPainterPath head;
    head.moveTo(11.5, 6.8);
    head.lineTo(14, 8.5);
    head.lineTo(11.5, 10.2);
    head.closeSubpath();
    p.drawPath(head);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    Save(folder, "attachment", PaperClip);
    Save(folder, "priority-high", Exclamation);
    Save(folder, "priority-low", DownArrow);
    Save(folder, "flag", Flag);
    Save(folder, "read", OpenedEnvelope);
    Save(folder, "unread", ClosedEnvelope);
    Save(folder, "recovered", RecoveredEnvelope);
    return 0;
}
