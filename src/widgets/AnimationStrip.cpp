#include "widgets/AnimationStrip.h"

#include "widgets/ArtworkKit.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QVector>
#include <QtMath>

namespace vexo
{

namespace
{

using artwork::vertical;

void drawComputer(QPainter &p)
{
    p.setPen(QPen(QColor(0x33, 0x3d, 0x4d), 1));
    p.setBrush(vertical(4, 28, QColor(0xd9, 0xdf, 0xe8), QColor(0x9c, 0xa6, 0xb5)));
    p.drawRoundedRect(QRectF(6.5, 4.5, 36, 25), 2, 2);
    p.setBrush(vertical(7, 26, QColor(0x3e, 0x7b, 0xd1), QColor(0x1b, 0x3f, 0x7e)));
    p.drawRect(QRectF(9.5, 7.5, 30, 19));
    p.setBrush(QColor(0x8a, 0x94, 0xa3));
    p.drawRect(QRectF(20.5, 29.5, 8, 4));
    p.setBrush(vertical(33, 37, QColor(0xc6, 0xcd, 0xd8), QColor(0x8a, 0x94, 0xa3)));
    p.drawRoundedRect(QRectF(13.5, 33.5, 22, 3), 1, 1);
}

void drawPalmtop(QPainter &p)
{
    const qreal x = 222.5;
    p.setPen(QPen(QColor(0x1e, 0x26, 0x33), 1));
    p.setBrush(vertical(2, 38, QColor(0x4a, 0x5b, 0x78), QColor(0x24, 0x2f, 0x42)));
    p.drawRoundedRect(QRectF(x, 2.5, 20, 35), 4, 4);
    p.setBrush(vertical(6, 19, QColor(0xc8, 0xec, 0xc0), QColor(0x8f, 0xc8, 0x8a)));
    p.drawRect(QRectF(x + 3, 6.5, 14, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd5, 0xdc, 0xe8));
    artwork::drawKeypad(p, QPointF(x + 3, 23), 3, 3, QSizeF(3.6, 2.8), QSizeF(5, 4.2), 0.8);
}

// A sheet of paper whose top-left corner is at `at`, tilted by `angle` degrees.
void drawSheet(QPainter &p, const QPointF &at, qreal angle)
{
    p.save();
    p.translate(at + QPointF(7, 9));
    p.rotate(angle);
    p.translate(-7, -9);
    p.setPen(QPen(QColor(0x5a, 0x67, 0x7a), 1));
    p.setBrush(vertical(0, 18, Qt::white, QColor(0xdd, 0xe4, 0xee)));
    p.drawPath(artwork::foldedSheet(QRectF(0, 0, 14, 18), 4));
    p.setPen(QPen(QColor(0x7d, 0x9c, 0xc8), 1));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(2.5, 7.5 + i * 3.5), QPointF(11.5, 7.5 + i * 3.5));
    p.restore();
}

using Route = AnimationStrip::Route;

QImage drawFrame(int index, Route route)
{
    QImage image(AnimationStrip::FrameSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (route.left == AnimationStrip::LeftEnd::DiskImage) {
        p.save();
        p.translate(4, 0);
        artwork::drawDiskette(p);
        p.restore();
    } else {
        drawComputer(p);
    }
    drawPalmtop(p);

    // The sheet rises out of the source, arcs over the line and sinks into
    // the destination; a trail of dots marks the way it has come. The last
    // frame stops short of the destination so that the loop runs on without
    // a jump.
    const bool back = route.flight == AnimationStrip::Flight::FromPalmtop;
    const qreal t = qreal(index) / AnimationStrip::FrameCount;
    const qreal leftX = 44;
    const qreal rightX = 206;
    auto along = [&](qreal u) { return back ? rightX - (rightX - leftX) * u : leftX + (rightX - leftX) * u; };
    const qreal x = along(t);
    const qreal y = 18 - 14 * qSin(t * M_PI);
    p.setPen(Qt::NoPen);
    for (qreal gone = 8; gone < (rightX - leftX) * t; gone += 9) {
        const qreal u = gone / (rightX - leftX);
        p.setBrush(QColor(0x7d, 0x9c, 0xc8, 90 + int(120 * u)));
        p.drawEllipse(QPointF(along(u), 27 - 14 * qSin(u * M_PI)), 1.3, 1.3);
    }
    drawSheet(p, QPointF(x, y), back ? 20 - 40 * t : -20 + 40 * t);
    return image;
}

int routeKey(Route route)
{
    return int(route.left) * 2 + int(route.flight);
}

// Each route's frames are drawn the first time it plays.
const QVector<QImage> &frames(Route route)
{
    static QHash<int, QVector<QImage>> drawn;
    QVector<QImage> &v = drawn[routeKey(route)];
    if (v.isEmpty()) {
        for (int i = 0; i < AnimationStrip::FrameCount; ++i)
            v.append(drawFrame(i, route));
    }
    return v;
}

} // namespace

AnimationStrip::AnimationStrip(QWidget *parent) : QWidget(parent)
{
    setFixedSize(FrameSize);
    m_timer.setInterval(FrameMs);
    connect(&m_timer, &QTimer::timeout, this, &AnimationStrip::advance);
}

void AnimationStrip::start()
{
    m_timer.start();
}

void AnimationStrip::stop()
{
    m_timer.stop();
}

void AnimationStrip::setCurrentFrame(int index)
{
    if (index < 0 || index >= FrameCount || index == m_frame)
        return;
    m_frame = index;
    update();
}

void AnimationStrip::setRoute(Route route)
{
    if (route == m_route)
        return;
    m_route = route;
    update();
}

QImage AnimationStrip::frame(int index, Route route)
{
    if (index < 0 || index >= FrameCount)
        return QImage();
    return frames(route).at(index);
}

void AnimationStrip::advance()
{
    setCurrentFrame((m_frame + 1) % FrameCount);
}

void AnimationStrip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawImage(0, 0, frames(m_route).at(m_frame));
}

} // namespace vexo
