// Draws Zelvar's splash picture, a turtle whose shell is an 8051 chip on a
// circuit board, and writes it as a 734 x 490 JPEG through libjpeg.
// Usage: zelvar_makesplash <output.jpg>
#include "ide/JpegImage.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QTextStream>

#include <cmath>

namespace {

constexpr int kWidth = 734, kHeight = 490;
const QPointF kCentre(367, 262);

void drawBoard(QPainter& p)
{
    QRadialGradient bg(kCentre, 460);
    bg.setColorAt(0, QColor(120, 214, 214));
    bg.setColorAt(0.55, QColor(38, 140, 150));
    bg.setColorAt(1, QColor(8, 62, 74));
    p.fillRect(0, 0, kWidth, kHeight, bg);

    // Copper traces of a circuit board: horizontal and vertical runs with a
    // 45-degree bend, each ending in a round pad.
    QRandomGenerator rng(8051);
    for (int k = 0; k < 46; ++k) {
        const bool horizontal = rng.bounded(2) == 0;
        QPointF a(rng.bounded(kWidth), rng.bounded(kHeight));
        const qreal run = 60 + rng.bounded(160), bend = 20 + rng.bounded(40);
        const qreal sign = rng.bounded(2) ? 1 : -1;
        QPainterPath path(a);
        QPointF b = horizontal ? a + QPointF(run, 0) : a + QPointF(0, run);
        QPointF c = b + QPointF(bend, sign * bend);
        QPointF d = horizontal ? c + QPointF(run / 2, 0) : c + QPointF(0, run / 2);
        path.lineTo(b);
        path.lineTo(c);
        path.lineTo(d);
        p.setPen(QPen(QColor(190, 255, 240, 46), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 255, 245, 70));
        p.drawEllipse(a, 5, 5);
        p.drawEllipse(d, 5, 5);
        p.setBrush(QColor(20, 80, 90, 120));
        p.drawEllipse(a, 2, 2);
        p.drawEllipse(d, 2, 2);
    }
}

// A flipper: a teardrop from the shell outwards, at the given angle (degrees, 0 = right, clockwise).
void drawFlipper(QPainter& p, qreal angle, qreal length, qreal width)
{
    p.save();
    p.translate(kCentre);
    p.rotate(angle);
    QPainterPath leg;
    leg.moveTo(90, -width / 2);
    leg.cubicTo(90 + length * 0.6, -width * 0.9, 90 + length, -width * 0.3, 90 + length, 0);
    leg.cubicTo(90 + length, width * 0.3, 90 + length * 0.6, width * 0.9, 90, width / 2);
    leg.closeSubpath();
    QLinearGradient g(90, 0, 90 + length, 0);
    g.setColorAt(0, QColor(70, 150, 60));
    g.setColorAt(1, QColor(128, 200, 96));
    p.setPen(QPen(QColor(30, 80, 30), 3));
    p.setBrush(g);
    p.drawPath(leg);
    // Scales on the flipper
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 110, 40, 110));
    for (int k = 1; k <= 3; ++k)
        p.drawEllipse(QPointF(90 + length * (0.25 * k + 0.1), (k % 2 ? -1 : 1) * width * 0.12), width * 0.12,
                      width * 0.1);
    p.restore();
}

void drawHeadAndTail(QPainter& p)
{
    // Tail
    QPainterPath tail;
    tail.moveTo(kCentre + QPointF(-16, 110));
    tail.quadTo(kCentre + QPointF(0, 175), kCentre + QPointF(10, 178));
    tail.quadTo(kCentre + QPointF(8, 150), kCentre + QPointF(16, 110));
    tail.closeSubpath();
    p.setPen(QPen(QColor(30, 80, 30), 3));
    p.setBrush(QColor(96, 176, 76));
    p.drawPath(tail);

    // Neck and head
    const QPointF head = kCentre + QPointF(0, -172);
    p.drawRoundedRect(QRectF(kCentre.x() - 24, kCentre.y() - 160, 48, 60), 20, 20);
    QRadialGradient hg(head + QPointF(-12, -14), 60);
    hg.setColorAt(0, QColor(150, 215, 110));
    hg.setColorAt(1, QColor(70, 150, 60));
    p.setBrush(hg);
    p.drawEllipse(head, 44, 50);
    // Eyes with a glint, and a smile
    for (int side : {-1, 1}) {
        const QPointF eye = head + QPointF(side * 19, -12);
        p.setPen(QPen(QColor(30, 60, 30), 2));
        p.setBrush(Qt::white);
        p.drawEllipse(eye, 11, 12);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 30, 40));
        p.drawEllipse(eye + QPointF(side * 2, -2), 6, 7);
        p.setBrush(Qt::white);
        p.drawEllipse(eye + QPointF(side * 2 - 2, -5), 2.2, 2.2);
    }
    p.setPen(QPen(QColor(30, 70, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(head.x() - 16, head.y() + 2, 32, 26), 200 * 16, 140 * 16);
}

// The shell: an 8051 package seen from above, pins all round, a gold die in
// the middle and bond traces that double as the shell's plates.
void drawShell(QPainter& p)
{
    const qreal rx = 150, ry = 124;
    // Pins along the rim
    p.setPen(QPen(QColor(90, 90, 96), 1.5));
    p.setBrush(QColor(214, 218, 226));
    const int pins = 40;
    for (int k = 0; k < pins; ++k) {
        const qreal t = 2 * M_PI * (k + 0.5) / pins;
        const QPointF rim(kCentre.x() + rx * std::cos(t), kCentre.y() + ry * std::sin(t));
        p.save();
        p.translate(rim);
        p.rotate(std::atan2(rx * std::sin(t), ry * std::cos(t)) * 180 / M_PI);
        p.drawRoundedRect(QRectF(-4, -5, 20, 10), 2, 2);
        p.restore();
    }
    // Package body
    QRadialGradient body(kCentre + QPointF(-40, -50), 220);
    body.setColorAt(0, QColor(78, 84, 92));
    body.setColorAt(1, QColor(22, 26, 32));
    p.setPen(QPen(QColor(10, 12, 16), 4));
    p.setBrush(body);
    p.drawEllipse(kCentre, rx, ry);
    p.setPen(QPen(QColor(120, 128, 140, 90), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(kCentre, rx - 14, ry - 12);

    // Die: a hexagon, like the middle plate of a turtle's shell
    QPolygonF hex;
    for (int k = 0; k < 6; ++k) {
        const qreal t = M_PI / 6 + k * M_PI / 3;
        hex << kCentre + QPointF(46 * std::cos(t), 46 * std::sin(t));
    }
    // Bond traces from the die's corners and edges to the rim, ending in pads
    p.setPen(QPen(QColor(222, 180, 72), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    for (int k = 0; k < 12; ++k) {
        const qreal t = k * M_PI / 6 + M_PI / 6;
        const QPointF from = kCentre + QPointF(46 * std::cos(t), 46 * std::sin(t)) * (k % 2 ? 0.87 : 1.0);
        const QPointF mid = kCentre + QPointF((rx - 52) * std::cos(t), (ry - 44) * std::sin(t));
        const QPointF to = kCentre + QPointF((rx - 26) * std::cos(t + 0.08), (ry - 22) * std::sin(t + 0.08));
        QPainterPath trace(from);
        trace.lineTo(mid);
        trace.lineTo(to);
        p.drawPath(trace);
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 204, 96));
        p.drawEllipse(to, 6, 6);
        p.setBrush(QColor(30, 34, 40));
        p.drawEllipse(to, 2.5, 2.5);
        p.restore();
    }
    QLinearGradient gold(hex.boundingRect().topLeft(), hex.boundingRect().bottomRight());
    gold.setColorAt(0, QColor(255, 232, 140));
    gold.setColorAt(0.5, QColor(222, 176, 60));
    gold.setColorAt(1, QColor(160, 112, 30));
    p.setPen(QPen(QColor(120, 84, 20), 3));
    p.setBrush(gold);
    p.drawPolygon(hex);
    // Silicon inside the die: a small grid of cells
    p.setPen(QPen(QColor(120, 84, 20, 160), 1.5));
    for (int k = -2; k <= 2; ++k) {
        p.drawLine(kCentre + QPointF(k * 10, -26), kCentre + QPointF(k * 10, 26));
        p.drawLine(kCentre + QPointF(-26, k * 10), kCentre + QPointF(26, k * 10));
    }
    // Pin-one mark
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 206, 214, 180));
    p.drawEllipse(kCentre + QPointF(-88, -62), 8, 8);
    // Highlight
    QRadialGradient shine(kCentre + QPointF(-60, -70), 90);
    shine.setColorAt(0, QColor(255, 255, 255, 60));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(kCentre, rx, ry);
}

void drawShadow(QPainter& p)
{
    p.setPen(Qt::NoPen);
    for (int k = 0; k < 12; ++k) {
        p.setBrush(QColor(0, 30, 36, 10));
        p.drawEllipse(kCentre + QPointF(14, 22), 178 + 4 * k - 24, 150 + 3 * k - 18);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        QTextStream(stderr) << "usage: zelvar_makesplash <output.jpg>\n";
        return 2;
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawBoard(p);
        drawShadow(p);
        for (qreal angle : {-40.0, -140.0})
            drawFlipper(p, angle, 110, 62);
        for (qreal angle : {35.0, 145.0})
            drawFlipper(p, angle, 86, 52);
        drawHeadAndTail(p);
        drawShell(p);
    }
    const auto [jpeg, error] = encodeJpeg(image, 90);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (jpeg.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size()) {
        QTextStream(stderr) << "cannot write " << argv[1] << ": " << error << "\n";
        return 1;
    }
    return 0;
}
