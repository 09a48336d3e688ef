#include "widgets/ArtworkKit.h"

#include <QPainter>

namespace vexo::artwork
{

QLinearGradient linear(const QPointF &from, const QPointF &to, const QGradientStops &stops)
{
    QLinearGradient g(from, to);
    g.setStops(stops);
    return g;
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor &a, const QColor &b)
{
    return linear(QPointF(0, top), QPointF(0, bottom), {{0, a}, {1, b}});
}

QLinearGradient horizontal(qreal left, qreal right, const QColor &a, const QColor &b)
{
    return linear(QPointF(left, 0), QPointF(right, 0), {{0, a}, {1, b}});
}

QPainterPath foldedSheet(const QRectF &r, qreal fold)
{
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    return sheet;
}

void drawKeypad(QPainter &p, const QPointF &origin, int rows, int columns, const QSizeF &key,
                const QSizeF &pitch, qreal radius)
{
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            const QPointF at(origin.x() + col * pitch.width(), origin.y() + row * pitch.height());
            p.drawRoundedRect(QRectF(at, key), radius, radius);
        }
    }
}

void drawDiskette(QPainter &p)
{
    p.setPen(QPen(QColor(0x14, 0x2a, 0x55), 1));
    p.setBrush(vertical(4, 36, QColor(0x4f, 0x84, 0xd6), QColor(0x23, 0x4f, 0x9a)));
    p.drawPath(artwork::foldedSheet(QRectF(4.5, 4.5, 31, 31), 4));
    p.setBrush(vertical(4, 15, QColor(0xe4, 0xe8, 0xee), QColor(0xa9, 0xb2, 0xbf)));
    p.drawRect(QRectF(11.5, 4.5, 16, 11));
    p.setBrush(QColor(0x33, 0x3d, 0x4d));
    p.drawRect(QRectF(21.5, 6.5, 4, 7));
    p.setPen(QPen(QColor(0x9a, 0xa8, 0xbd), 1));
    p.setBrush(QColor(0xfb, 0xfb, 0xf6));
    p.drawRect(QRectF(8.5, 20.5, 23, 13));
    p.setPen(QPen(QColor(0xc0, 0x4a, 0x3a), 1));
    p.drawLine(QPointF(10.5, 24.5), QPointF(29.5, 24.5));
    p.setPen(QPen(QColor(0x8a, 0x9a, 0xb3), 1));
    p.drawLine(QPointF(10.5, 28.5), QPointF(26.5, 28.5));
}

} // namespace vexo::artwork
