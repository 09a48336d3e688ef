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

} // namespace vexo::artwork
