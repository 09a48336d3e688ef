#include "widgets/OwnedItemView.h"

#include <QDragMoveEvent>

namespace vexo
{

template <class View>
OwnedItemView<View>::OwnedItemView(ItemViewOwner *owner, QWidget *parent) : View(parent), m_owner(owner)
{
}

template <class View> void OwnedItemView<View>::finishEditing(QWidget *editor)
{
    this->commitData(editor);
    this->closeEditor(editor, QAbstractItemDelegate::NoHint);
}

template <class View> void OwnedItemView<View>::startDrag(Qt::DropActions)
{
    m_owner->startDragFrom(this);
}

template <class View> void OwnedItemView<View>::dragEnterEvent(QDragEnterEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

template <class View> void OwnedItemView<View>::dragMoveEvent(QDragMoveEvent *event)
{
    m_owner->dragMoveIn(this, event);
}

// Nothing to undo: the moves above never reach the base class, so it has no
// drop indicator or auto-scroll to clear.
template <class View> void OwnedItemView<View>::dragLeaveEvent(QDragLeaveEvent *)
{
}

template <class View> void OwnedItemView<View>::dropEvent(QDropEvent *event)
{
    m_owner->dropIn(this, event);
}

template class OwnedItemView<QListView>;
template class OwnedItemView<QTreeView>;

} // namespace vexo
