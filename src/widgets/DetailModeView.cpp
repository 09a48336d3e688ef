#include "widgets/DetailModeView.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionViewItem>

namespace vexo
{

DetailModeView::DetailModeView(ItemViewOwner *owner, QWidget *parent) : OwnedItemView(owner, parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void DetailModeView::setGridLines(bool on)
{
    if (m_gridLines == on)
        return;
    m_gridLines = on;
    viewport()->update();
}

QColor DetailModeView::gridColor() const
{
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    // A shade darker than the style's table grid: light lines vanish on bright screens.
    const QRgb rgb = static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this));
    return QColor::fromRgba(rgb).darker(112);
}

void DetailModeView::paintColumnLines(QPainter *painter, int top, int bottom) const
{
    const QHeaderView *head = header();
    for (int visual = 0; visual < head->count(); ++visual) {
        const int logical = head->logicalIndex(visual);
        if (head->isSectionHidden(logical))
            continue;
        const int x = head->sectionViewportPosition(logical) + head->sectionSize(logical) - 1;
        painter->drawLine(x, top, x, bottom);
    }
}

void DetailModeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QTreeView::drawRow(painter, option, index);
    if (!m_gridLines)
        return;
    painter->save();
    painter->setPen(gridColor());
    const QRect row = option.rect;
    painter->drawLine(0, row.bottom(), viewport()->width(), row.bottom());
    paintColumnLines(painter, row.top(), row.bottom());
    painter->restore();
}

void DetailModeView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_gridLines)
        paintEmptyGrid();
}

// Like the classic report view, the grid continues below the last row so the
// empty part of the list shows the same ruled pattern.
void DetailModeView::paintEmptyGrid()
{
    int top = 0;
    int rowHeight = 0;
    const QModelIndex root = rootIndex();
    const int rows = model() ? model()->rowCount(root) : 0;
    if (rows > 0) {
        const QRect last = visualRect(model()->index(rows - 1, 0, root));
        top = last.bottom() + 1;
        rowHeight = last.height();
    }
    if (top >= viewport()->height())
        return;
    if (rowHeight <= 0)
        rowHeight = qMax(fontMetrics().height() + 4, 16);
    QPainter painter(viewport());
    painter.setPen(gridColor());
    for (int y = top + rowHeight - 1; y < viewport()->height(); y += rowHeight)
        painter.drawLine(0, y, viewport()->width(), y);
    paintColumnLines(&painter, top, viewport()->height());
}

} // namespace vexo
