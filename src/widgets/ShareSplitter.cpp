#include "widgets/ShareSplitter.h"

#include <QResizeEvent>

namespace vexo
{

ShareSplitter::ShareSplitter(Qt::Orientation orientation, QWidget *parent) : QSplitter(orientation, parent)
{
    connect(this, &QSplitter::splitterMoved, this, [this] {
        const QList<int> parts = sizes();
        const int total = parts.value(0) + parts.value(1);
        if (parts.size() == 2 && total > 0)
            m_share = double(parts[0]) / total;
    });
}

void ShareSplitter::setFirstShare(double share)
{
    m_share = qBound(0.0, share, 1.0);
    applyShare();
}

void ShareSplitter::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    applyShare();
}

void ShareSplitter::applyShare()
{
    const QList<int> parts = sizes();
    const int total = parts.value(0) + parts.value(1);
    if (parts.size() != 2 || total < 2)
        return;
    const int first = qBound(1, qRound(total * m_share), total - 1);
    if (first != parts[0])
        setSizes({first, total - first});
}

} // namespace vexo
