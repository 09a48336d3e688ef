#pragma once

#include <QGradient>
#include <QLinearGradient>
#include <QPainterPath>

class QPainter;
class QPointF;
class QRectF;
class QSizeF;

// The pieces that our code-drawn pictures (toolbar, animation, pane pictures)
// share, so that a sheet, a shade or a keypad looks the same in each of them.
namespace vexo::artwork
{

// A gradient from `from` to `to` through `stops` (positions 0 .. 1).
QLinearGradient linear(const QPointF &from, const QPointF &to, const QGradientStops &stops);
// Two-colour gradients running down from `top` and right from `left`.
QLinearGradient vertical(qreal top, qreal bottom, const QColor &a, const QColor &b);
QLinearGradient horizontal(qreal left, qreal right, const QColor &a, const QColor &b);

// The outline of `r` with its top-right corner cut off `fold` units down and
// across: a sheet of paper or a diskette.
QPainterPath foldedSheet(const QRectF &r, qreal fold);

// Rows x columns of rounded keys of size `key`, the first with its top-left
// corner at `origin`, one every `pitch`; in the painter's current pen and brush.
void drawKeypad(QPainter &p, const QPointF &origin, int rows, int columns, const QSizeF &key,
                const QSizeF &pitch, qreal radius);

// The simulator's disk image as a diskette with its shutter and label, in a
// 40 x 40 box at the painter's origin.
void drawDiskette(QPainter &p);

} // namespace vexo::artwork
