#include "widgets/DetailPart.h"

#include "widgets/FileListView.h"

#include <QDragMoveEvent>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionViewItem>

namespace vexo
{

DetailPart::DetailPart(FileListView *owner) : QTreeView(owner), m_owner(owner)
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

void DetailPart::setGridLines(bool on)
{
    if (m_gridLines == on)
        return;
    m_gridLines = on;
    viewport()->update();
}

void DetailPart::finishEditing(QWidget *editor)
{
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DetailPart::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (m_gridLines)
        paintGrid();
}

// Like the classic report view, the grid continues below the last row so the
// empty part of the list shows the same ruled pattern.
void DetailPart::paintGrid()
{
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    painter.setPen(QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this))));

    const int height = viewport()->height();
    const int width = viewport()->width();
    const QModelIndex root = rootIndex();
    int rowHeight = 0;
    int y = 0;
    if (model() && model()->rowCount(root) > 0) {
        const QModelIndex first = model()->index(0, 0, root);
        rowHeight = QTreeView::rowHeight(first);
        const QModelIndex top = indexAt(QPoint(1, 1));
        y = top.isValid() ? visualRect(top).top()
                          : visualRect(model()->index(model()->rowCount(root) - 1, 0, root)).bottom() + 1;
    }
    if (rowHeight <= 0)
        rowHeight = qMax(fontMetrics().height() + 4, 16);
    for (y += rowHeight - 1; y < height; y += rowHeight)
        painter.drawLine(0, y, width, y);

    const QHeaderView *head = header();
    for (int visual = 0; visual < head->count(); ++visual) {
        const int logical = head->logicalIndex(visual);
        if (head->isSectionHidden(logical))
            continue;
        const int x = head->sectionViewportPosition(logical) + head->sectionSize(logical) - 1;
        if (x >= 0 && x < width)
            painter.drawLine(x, 0, x, height);
    }
}

void DetailPart::startDrag(Qt::DropActions)
{
    m_owner->startDragFrom(this);
}

void DetailPart::dragEnterEvent(QDragEnterEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void DetailPart::dragMoveEvent(QDragMoveEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void DetailPart::dragLeaveEvent(QDragLeaveEvent *)
{
}

void DetailPart::dropEvent(QDropEvent *event)
{
    m_owner->dropIn(this, event);
}

} // namespace vexo
