#include "transfer/PanePictures.h"

#include "widgets/ArtworkKit.h"

#include <QPainter>

namespace vexo
{

namespace
{

constexpr int Size = 40;

using artwork::vertical;

// The PC's disk: a drive box seen from the front, with its light on.
void drawDisk(QPainter &p)
{
    const QRectF body(3.5, 10.5, 33, 20);
    p.setPen(QPen(QColor(0x3c, 0x44, 0x52), 1));
    p.setBrush(vertical(body.top(), body.bottom(), QColor(0xe9, 0xec, 0xf1), QColor(0x9a, 0xa3, 0xb1)));
    p.drawRoundedRect(body, 3, 3);
    p.setBrush(vertical(22, 29, QColor(0x6d, 0x77, 0x86), QColor(0x47, 0x4f, 0x5c)));
    p.drawRoundedRect(QRectF(6.5, 22.5, 27, 5), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0xc4, 0x4a));
    p.drawEllipse(QPointF(30, 15.5), 1.8, 1.8);
    p.setPen(QPen(QColor(0x7b, 0x86, 0x96), 1));
    for (int i = 0; i < 4; ++i)
        p.drawLine(QPointF(7.5 + i * 3, 13.5), QPointF(7.5 + i * 3, 18.5));
}

// The palmtop: an upright handheld with its screen and keys.
void drawPalmtop(QPainter &p)
{
    const QRectF body(10.5, 1.5, 19, 37);
    p.setPen(QPen(QColor(0x1e, 0x26, 0x33), 1));
    p.setBrush(vertical(body.top(), body.bottom(), QColor(0x4a, 0x5b, 0x78), QColor(0x24, 0x2f, 0x42)));
    p.drawRoundedRect(body, 4, 4);
    const QRectF screen(13.5, 5.5, 13, 14);
    p.setPen(QPen(QColor(0x10, 0x18, 0x22), 1));
    p.setBrush(vertical(screen.top(), screen.bottom(), QColor(0xc8, 0xec, 0xc0), QColor(0x8f, 0xc8, 0x8a)));
    p.drawRect(screen);
    p.setPen(QPen(QColor(0x35, 0x5e, 0x34), 1));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(15.5, 9 + i * 3.5), QPointF(24.5 - i * 2, 9 + i * 3.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd5, 0xdc, 0xe8));
    artwork::drawKeypad(p, QPointF(13.5, 23), 4, 3, QSizeF(3.4, 2.4), QSizeF(4.7, 3.6), 0.8);
}

QPixmap render(void (*draw)(QPainter &))
{
    QPixmap pixmap(Size, Size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return pixmap;
}

} // namespace

QPixmap PanePicture(PathKind kind)
{
    switch (kind) {
    case pkLocal:
        return render(drawDisk);
    case pkDevice:
        return render(drawPalmtop);
    case pkVDisk:
        return render(artwork::drawDiskette);
    case pkOther:
        break;
    }
    return QPixmap();
}

} // namespace vexo
