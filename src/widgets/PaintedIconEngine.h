#pragma once

#include <QIconEngine>

#include <functional>

namespace vexo
{

// An icon drawn by code on a square canvas of CanvasSize units, scaled to
// whatever size is asked for, so it stays sharp at every size and scale.
// The disabled mode is drawn greyed and faded.
class PaintedIconEngine : public QIconEngine
{
public:
    static constexpr int CanvasSize = 32;
    using Drawing = std::function<void(QPainter &)>;

    PaintedIconEngine(QString key, Drawing drawing);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override;
    QIconEngine *clone() const override;
    QString key() const override { return m_key; }
    QString iconName() override { return m_key; }
    bool isNull() override { return !m_drawing; }

private:
    QImage render(const QSize &size, qreal scale, QIcon::Mode mode) const;

    QString m_key;
    Drawing m_drawing;
};

} // namespace vexo
