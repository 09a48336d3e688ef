#include "widgets/ListPart.h"

#include "widgets/FileListView.h"

#include <QDragMoveEvent>

namespace vexo
{

ListPart::ListPart(FileListView *owner) : QListView(owner), m_owner(owner)
{
}

void ListPart::finishEditing(QWidget *editor)
{
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void ListPart::startDrag(Qt::DropActions)
{
    m_owner->startDragFrom(this);
}

void ListPart::dragEnterEvent(QDragEnterEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void ListPart::dragMoveEvent(QDragMoveEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

void ListPart::dragLeaveEvent(QDragLeaveEvent *)
{
}

void ListPart::dropEvent(QDropEvent *event)
{
    m_owner->dropIn(this, event);
}

} // namespace vexo
