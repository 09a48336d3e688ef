#include "widgets/PaintedIconEngine.h"

#include <QPainter>
#include <QPixmap>

#include <utility>

namespace vexo
{

PaintedIconEngine::PaintedIconEngine(QString key, Drawing drawing)
    : m_key(std::move(key)), m_drawing(std::move(drawing))
{
}

QImage PaintedIconEngine::render(const QSize &size, qreal scale, QIcon::Mode mode) const
{
    const QSize device = (QSizeF(size) * scale).toSize();
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (device.isEmpty() || !m_drawing)
        return image;
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // Keep the drawing square and centred in a non-square rectangle.
        const qreal side = qMin(device.width(), device.height());
        painter.translate((device.width() - side) / 2.0, (device.height() - side) / 2.0);
        painter.scale(side / CanvasSize, side / CanvasSize);
        m_drawing(painter);
    }
    if (mode == QIcon::Disabled) {
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(line[x]) * 2 / 5;
                // Premultiplied: the grey level must not exceed the new alpha.
                const int grey = qGray(line[x]) * alpha / qMax(1, qAlpha(line[x]));
                line[x] = qRgba(grey, grey, grey, alpha);
            }
        }
    }
    image.setDevicePixelRatio(scale);
    return image;
}

void PaintedIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State)
{
    const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawImage(rect, render(rect.size(), scale, mode));
}

QPixmap PaintedIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state)
{
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap PaintedIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale)
{
    return QPixmap::fromImage(render(size, scale, mode));
}

QIconEngine *PaintedIconEngine::clone() const
{
    return new PaintedIconEngine(m_key, m_drawing);
}

} // namespace vexo
