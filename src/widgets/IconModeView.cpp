#include "widgets/IconModeView.h"

#include "widgets/FileListView.h"

#include <QDragMoveEvent>

namespace vexo
{

IconModeView::IconModeView(FileListView *owner) : QListView(owner), m_owner(owner)
{
}

void IconModeView::finishEditing(QWidget *editor)
{
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void IconModeView::startDrag(Qt::DropActions)
{
    m_owner->startDragFrom(this);
}

void IconModeView::dragEnterEvent(QDragEnterEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void IconModeView::dragMoveEvent(QDragMoveEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void IconModeView::dragLeaveEvent(QDragLeaveEvent *)
{
}

void IconModeView::dropEvent(QDropEvent *event)
{
    m_owner->dropIn(this, event);
}

} // namespace vexo
