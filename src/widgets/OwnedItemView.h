#pragma once

#include "widgets/ItemViewOwner.h"

#include <QListView>
#include <QTreeView>

namespace vexo
{

// One of the inner views of a FileListView (View is QListView or QTreeView).
// Drags and drops are handed to the owning list, which lets its owner decide;
// the view itself never moves data. `owner` is the list, `parent` the widget
// the view sits in.
template <class View> class OwnedItemView : public View
{
public:
    OwnedItemView(ItemViewOwner *owner, QWidget *parent);

    // Commits and closes `editor` if it is open in this view.
    void finishEditing(QWidget *editor);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    ItemViewOwner *m_owner;
};

// Built once, in OwnedItemView.cpp.
extern template class OwnedItemView<QListView>;
extern template class OwnedItemView<QTreeView>;

} // namespace vexo
