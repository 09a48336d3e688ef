#include "widgets/ArtworkDrawing.h"

#include "widgets/ArtworkKit.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace vexo::artwork
{

namespace
{

const QColor kOutline(0x33, 0x3d, 0x4d);

QRadialGradient radial(const QPointF &centre, qreal radius, const QColor &a, const QColor &b)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    return g;
}

QPen outline(const QColor &c = kOutline, qreal width = 1.0)
{
    QPen pen(c, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// `shape` filled with `fill` and outlined in `edge`; the painter keeps both.
void drawShape(QPainter &p, const QPainterPath &shape, const QColor &edge, const QBrush &fill)
{
    p.setPen(outline(edge));
    p.setBrush(fill);
    p.drawPath(shape);
}

// From here on only lines are drawn: `c` ones, `width` wide.
void strokeOnly(QPainter &p, const QColor &c, qreal width)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(c, width));
}

// A sheet of paper with a folded top-right corner and a few text lines.
void page(QPainter &p, const QRectF &r, int lines = 3)
{
    const qreal fold = qMin(r.width(), r.height()) * 0.3;
    drawShape(p, foldedSheet(r, fold), QColor(0x5a, 0x67, 0x7a),
              vertical(r.top(), r.bottom(), Qt::white, QColor(0xdd, 0xe4, 0xee)));
    QPainterPath corner;
    corner.moveTo(r.right() - fold, r.top());
    corner.lineTo(r.right() - fold, r.top() + fold);
    corner.lineTo(r.right(), r.top() + fold);
    corner.closeSubpath();
    p.setBrush(QColor(0xc3, 0xcc, 0xd9));
    p.drawPath(corner);
    p.setPen(outline(QColor(0x7d, 0x9c, 0xc8), 1.2));
    const qreal step = (r.height() - fold - 3) / (lines + 1);
    for (int i = 1; i <= lines; ++i) {
        const qreal y = r.top() + fold + step * i;
        p.drawLine(QPointF(r.left() + 2.5, y), QPointF(r.right() - 2.5, y));
    }
}

// A yellow folder filling most of `r`.
void folder(QPainter &p, const QRectF &r)
{
    const qreal tabW = r.width() * 0.42;
    const qreal tabH = r.height() * 0.16;
    QPainterPath back;
    back.moveTo(r.left(), r.top() + tabH);
    back.lineTo(r.left() + 1.5, r.top());
    back.lineTo(r.left() + tabW - 1.5, r.top());
    back.lineTo(r.left() + tabW + 1.5, r.top() + tabH);
    back.lineTo(r.right(), r.top() + tabH);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    drawShape(p, back, QColor(0x9a, 0x6b, 0x12),
              vertical(r.top(), r.bottom(), QColor(0xf2, 0xc2, 0x4c), QColor(0xd6, 0x96, 0x1e)));
    const QRectF front(r.left(), r.top() + tabH * 2.2, r.width(), r.height() - tabH * 2.2);
    p.setBrush(vertical(front.top(), front.bottom(), QColor(0xff, 0xe0, 0x85), QColor(0xf0, 0xb4, 0x32)));
    p.drawRoundedRect(front, 1.2, 1.2);
}

// Where a shade starts and ends, along its direction.
struct Span {
    qreal from;
    qreal to;
};

// A handheld terminal's dark body with rounded `corner`s, shaded across by
// `bodyShade`, and its green screen, shaded down by `screenShade`.
void handheld(QPainter &p, const QRectF &body, qreal corner, Span bodyShade, const QRectF &screen,
              Span screenShade)
{
    p.setPen(outline(QColor(0x16, 0x1b, 0x22)));
    p.setBrush(horizontal(bodyShade.from, bodyShade.to, QColor(0x6b, 0x75, 0x83), QColor(0x2b, 0x31, 0x3a)));
    p.drawRoundedRect(body, corner, corner);
    p.setPen(outline(QColor(0x1c, 0x3a, 0x12)));
    p.setBrush(
        vertical(screenShade.from, screenShade.to, QColor(0xc8, 0xf0, 0x96), QColor(0x6f, 0xae, 0x3f)));
    p.drawRect(screen);
}

// A white window card that the view-mode images draw on.
void card(QPainter &p)
{
    p.setPen(outline(QColor(0x4a, 0x5d, 0x7a)));
    p.setBrush(vertical(3, 29, Qt::white, QColor(0xe4, 0xea, 0xf3)));
    p.drawRoundedRect(QRectF(2.5, 3.5, 27, 25), 2.5, 2.5);
}

void tile(QPainter &p, const QRectF &r)
{
    p.setPen(outline(QColor(0x1f, 0x4f, 0x9a), 0.8));
    p.setBrush(vertical(r.top(), r.bottom(), QColor(0x7f, 0xb2, 0xf0), QColor(0x2a, 0x63, 0xc2)));
    p.drawRoundedRect(r, 1.2, 1.2);
}

void textLine(QPainter &p, qreal x1, qreal x2, qreal y)
{
    p.setPen(outline(QColor(0x55, 0x66, 0x80), 1.6));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
}

// A filled arrowhead at `tip` pointing along `direction` (unit vector).
void arrowHead(QPainter &p, QPointF tip, QPointF direction, qreal length, qreal halfWidth)
{
    const QPointF normal(-direction.y(), direction.x());
    const QPointF base = tip - direction * length;
    p.drawPolygon(QPolygonF({tip, base + normal * halfWidth, base - normal * halfWidth}));
}

void badgePlus(QPainter &p, const QPointF &centre, qreal radius)
{
    p.setPen(outline(QColor(0x1d, 0x6b, 0x25)));
    p.setBrush(radial(centre - QPointF(radius / 3, radius / 3), radius * 1.4, QColor(0x8f, 0xe0, 0x7a),
                      QColor(0x2f, 0x9a, 0x3a)));
    p.drawEllipse(centre, radius, radius);
    p.setPen(outline(Qt::white, radius * 0.42));
    const qreal arm = radius * 0.55;
    p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
    p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
}

} // namespace

void drawSetup(QPainter &p)
{
    const QPointF c(16, 16);
    QPainterPath gear;
    gear.addEllipse(c, 10.5, 10.5);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-3, -14.5, 6, 7), 1.2, 1.2);
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(i * 45.0);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(c, 4.2, 4.2);
    gear = gear.subtracted(hole);
    drawShape(
        p, gear, QColor(0x2d, 0x38, 0x48),
        linear(
            QPointF(4, 4), QPointF(28, 28),
            {{0, QColor(0xee, 0xf2, 0xf7)}, {0.5, QColor(0xa9, 0xb6, 0xc6)}, {1, QColor(0x5d, 0x6c, 0x80)}}));
    strokeOnly(p, QColor(255, 255, 255, 150), 1.2);
    p.drawEllipse(c, 7.5, 7.5);
}

void drawFormat(QPainter &p)
{
    // A diskette.
    drawShape(p, foldedSheet(QRectF(4, 3, 25, 26), 4), QColor(0x12, 0x2c, 0x5c),
              vertical(3, 29, QColor(0x5b, 0x8f, 0xe0), QColor(0x1d, 0x47, 0x94)));
    // Metal shutter.
    p.setPen(outline(QColor(0x55, 0x5f, 0x6b)));
    p.setBrush(horizontal(9, 23, QColor(0xf0, 0xf3, 0xf7), QColor(0x9c, 0xa8, 0xb5)));
    p.drawRect(QRectF(9, 3, 14, 9));
    p.setBrush(QColor(0x3b, 0x45, 0x52));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(17, 5, 3, 5));
    // Label with a fresh, empty look.
    p.setPen(outline(QColor(0x9a, 0xa6, 0xb6)));
    p.setBrush(vertical(16, 28, Qt::white, QColor(0xe8, 0xed, 0xf4)));
    p.drawRect(QRectF(7.5, 16, 18, 12));
    p.setPen(outline(QColor(0xd9, 0x3b, 0x2b), 1.4));
    p.drawLine(QPointF(10, 20), QPointF(23, 20));
    p.setPen(outline(QColor(0x9a, 0xb4, 0xd8), 1.2));
    p.drawLine(QPointF(10, 24), QPointF(23, 24));
}

void drawDelete(QPainter &p)
{
    const QLineF a(QPointF(8, 8), QPointF(24, 24));
    const QLineF b(QPointF(24, 8), QPointF(8, 24));
    p.setPen(outline(QColor(0x7a, 0x0f, 0x0a), 7.5));
    p.drawLine(a);
    p.drawLine(b);
    QPen inner = outline(QColor(0xe8, 0x3b, 0x2a), 5);
    inner.setBrush(vertical(6, 26, QColor(0xff, 0x7a, 0x5e), QColor(0xc8, 0x1e, 0x12)));
    p.setPen(inner);
    p.drawLine(a);
    p.drawLine(b);
}

void drawCopy(QPainter &p)
{
    page(p, QRectF(4.5, 2.5, 16, 20));
    page(p, QRectF(11.5, 9.5, 16, 20));
}

void drawPaste(QPainter &p)
{
    p.setPen(outline(QColor(0x5e, 0x3b, 0x14)));
    p.setBrush(vertical(5, 30, QColor(0xd7, 0xa4, 0x68), QColor(0x92, 0x5d, 0x27)));
    p.drawRoundedRect(QRectF(4.5, 5.5, 19, 23), 2, 2);
    p.setPen(outline(QColor(0x4a, 0x52, 0x5e)));
    p.setBrush(vertical(2, 9, QColor(0xf2, 0xf4, 0xf7), QColor(0x98, 0xa3, 0xb0)));
    p.drawRoundedRect(QRectF(9.5, 2.5, 9, 6), 1.5, 1.5);
    page(p, QRectF(13.5, 11.5, 15, 18));
}

void drawLargeIcons(QPainter &p)
{
    card(p);
    tile(p, QRectF(6, 7.5, 9, 8));
    tile(p, QRectF(17, 7.5, 9, 8));
    tile(p, QRectF(6, 18, 9, 8));
    tile(p, QRectF(17, 18, 9, 8));
}

void drawSmallIcons(QPainter &p)
{
    card(p);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 2; ++col) {
            const qreal x = 5.5 + col * 11.5;
            const qreal y = 7.5 + row * 6.8;
            tile(p, QRectF(x, y, 4.5, 4.5));
            textLine(p, x + 6.3, x + 9.5, y + 2.3);
        }
    }
}

void drawList(QPainter &p)
{
    card(p);
    for (int row = 0; row < 4; ++row) {
        const qreal y = 7 + row * 5.3;
        tile(p, QRectF(5.5, y, 4, 4));
        textLine(p, 12, 25.5, y + 2);
    }
}

void drawDetails(QPainter &p)
{
    card(p);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(4, 10, QColor(0x8d, 0xa9, 0xd1), QColor(0x4f, 0x72, 0xa8)));
    p.drawRect(QRectF(3, 4, 26, 5.5));
    p.setPen(outline(QColor(0x9a, 0xa9, 0xbd), 0.8));
    for (int row = 1; row <= 3; ++row)
        p.drawLine(QPointF(3.5, 9.5 + row * 4.8), QPointF(28.5, 9.5 + row * 4.8));
    p.drawLine(QPointF(15, 4), QPointF(15, 28));
    p.drawLine(QPointF(22, 4), QPointF(22, 28));
    for (int row = 0; row < 4; ++row) {
        const qreal y = 12 + row * 4.8;
        textLine(p, 5, 13, y);
        textLine(p, 17, 20, y);
        textLine(p, 24, 27, y);
    }
}

void drawPalmtopConnect(QPainter &p)
{
    // Cable from the terminal's foot to a plug.
    QPainterPath cable;
    cable.moveTo(13, 28);
    cable.cubicTo(13, 31.5, 24, 31.5, 24, 24);
    strokeOnly(p, QColor(0x25, 0x2b, 0x33), 2.2);
    p.drawPath(cable);
    p.setPen(outline(QColor(0x3d, 0x4a, 0x5a)));
    p.setBrush(vertical(16, 25, QColor(0xd9, 0xdf, 0xe7), QColor(0x8a, 0x96, 0xa5)));
    p.drawRoundedRect(QRectF(21, 17, 6, 7), 1, 1);
    p.setPen(outline(QColor(0xc8, 0xa0, 0x30), 1.3));
    p.drawLine(QPointF(22.8, 17), QPointF(22.8, 14));
    p.drawLine(QPointF(25.2, 17), QPointF(25.2, 14));
    // The handheld terminal.
    handheld(p, QRectF(4.5, 1.5, 15, 27), 3, {4, 22}, QRectF(7, 4.5, 10, 9), {4, 14});
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xdd, 0xe3, 0xea));
    drawKeypad(p, QPointF(7, 16), 4, 3, QSizeF(2.6, 1.9), QSizeF(3.6, 2.9), 0.6);
}

void drawRefresh(QPainter &p)
{
    const QPointF c(16, 16);
    const qreal r = 10;
    auto pointAt = [&](qreal degrees) {
        const qreal t = qDegreesToRadians(degrees);
        return c + QPointF(r * qCos(t), -r * qSin(t));
    };
    auto tangentAt = [](qreal degrees) {
        const qreal t = qDegreesToRadians(degrees);
        return QPointF(-qSin(t), -qCos(t)); // counter-clockwise travel
    };
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    for (const qreal start : {20.0, 200.0}) {
        const qreal span = 125;
        strokeOnly(p, QColor(0x16, 0x5e, 0x1e), 5);
        p.drawArc(box, int(start * 16), int(span * 16));
        p.setPen(outline(QColor(0x4c, 0xb8, 0x4a), 3));
        p.drawArc(box, int(start * 16), int(span * 16));
        p.setPen(outline(QColor(0x16, 0x5e, 0x1e), 1));
        p.setBrush(QColor(0x4c, 0xb8, 0x4a));
        const qreal end = start + span;
        arrowHead(p, pointAt(end) + tangentAt(end) * 5, tangentAt(end), 7, 5);
    }
}

void drawExit(QPainter &p)
{
    const QPointF c(16, 16);
    p.setPen(outline(QColor(0x6b, 0x10, 0x08)));
    p.setBrush(radial(QPointF(12, 11), 18, QColor(0xff, 0x8a, 0x70), QColor(0xa8, 0x1c, 0x10)));
    p.drawEllipse(c, 13.5, 13.5);
    strokeOnly(p, Qt::white, 2.8);
    p.drawArc(QRectF(c.x() - 7, c.y() - 6, 14, 14), 125 * 16, 290 * 16);
    p.drawLine(QPointF(16, 6), QPointF(16, 14));
}

void drawSync(QPainter &p)
{
    // A PC sheet and a palmtop facing each other, an arrow each way between them.
    p.setPen(outline(QColor(0x3a, 0x4a, 0x60)));
    p.setBrush(vertical(3, 29, QColor(0xff, 0xff, 0xff), QColor(0xd2, 0xdc, 0xea)));
    p.drawRect(QRectF(2.5, 3.5, 11, 25));
    textLine(p, 5, 11, 8);
    textLine(p, 5, 11, 24);
    handheld(p, QRectF(18.5, 2.5, 11, 27), 2.5, {18, 30}, QRectF(20.5, 5, 7, 6), {5, 11});
    for (const bool right : {true, false}) {
        const qreal y = right ? 14 : 20;
        const QPointF from(right ? 7 : 25, y), to(right ? 25 : 7, y);
        const QPointF dir(right ? 1 : -1, 0);
        p.setPen(outline(QColor(0x16, 0x5e, 0x1e), 4.5));
        p.drawLine(from, to - dir * 4);
        p.setPen(outline(QColor(0x4c, 0xb8, 0x4a), 2.5));
        p.drawLine(from, to - dir * 4);
        p.setPen(outline(QColor(0x16, 0x5e, 0x1e), 1));
        p.setBrush(QColor(0x4c, 0xb8, 0x4a));
        arrowHead(p, to, dir, 6, 4);
    }
}

void drawImageConnect(QPainter &p)
{
    // A disk image as a drum.
    const QRectF top(5, 3, 20, 7);
    QPainterPath drum;
    drum.moveTo(5, 6.5);
    drum.lineTo(5, 24.5);
    drum.arcTo(QRectF(5, 21, 20, 7), 180, 180);
    drum.lineTo(25, 6.5);
    drum.closeSubpath();
    drawShape(p, drum, QColor(0x1b, 0x2d, 0x4f),
              linear(QPointF(5, 0), QPointF(25, 0),
                     {{0, QColor(0x3a, 0x62, 0xa8)},
                      {0.35, QColor(0x8c, 0xb4, 0xee)},
                      {1, QColor(0x22, 0x42, 0x80)}}));
    strokeOnly(p, QColor(0xc6, 0xdc, 0xfa, 200), 1);
    p.drawArc(QRectF(5, 9, 20, 7), 180 * 16, 180 * 16);
    p.drawArc(QRectF(5, 15, 20, 7), 180 * 16, 180 * 16);
    p.setPen(outline(QColor(0x1b, 0x2d, 0x4f)));
    p.setBrush(vertical(3, 10, QColor(0xd6, 0xe6, 0xfb), QColor(0x8c, 0xb0, 0xe4)));
    p.drawEllipse(top);
    // Link badge.
    p.setPen(outline(QColor(0x14, 0x5c, 0x1c)));
    p.setBrush(radial(QPointF(22, 22), 9, QColor(0x9a, 0xe6, 0x84), QColor(0x2a, 0x8f, 0x34)));
    p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
    strokeOnly(p, Qt::white, 1.6);
    p.save();
    p.translate(24, 24);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-4.6, -1.7, 5, 3.4), 1.7, 1.7);
    p.drawRoundedRect(QRectF(-0.4, -1.7, 5, 3.4), 1.7, 1.7);
    p.restore();
}

void drawFolderUp(QPainter &p)
{
    folder(p, QRectF(2.5, 5.5, 27, 22));
    p.setPen(outline(QColor(0x16, 0x5e, 0x1e), 1));
    p.setBrush(vertical(9, 29, QColor(0x7c, 0xd8, 0x6a), QColor(0x2c, 0x91, 0x32)));
    QPolygonF arrow({QPointF(16, 8), QPointF(24, 17), QPointF(19.5, 17), QPointF(19.5, 26), QPointF(12.5, 26),
                     QPointF(12.5, 17), QPointF(8, 17)});
    p.drawPolygon(arrow);
}

void drawNewFolder(QPainter &p)
{
    folder(p, QRectF(2.5, 5.5, 25, 21));
    badgePlus(p, QPointF(23, 22), 7);
}

} // namespace vexo::artwork
