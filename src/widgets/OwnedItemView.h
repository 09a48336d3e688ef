#pragma once

#include <QListView>
#include <QTreeView>

namespace vexo
{

class FileListView;

// One of the inner views of a FileListView (View is QListView or QTreeView).
// Drags and drops are handed to the owning list, which lets its owner decide;
// the view itself never moves data.
template <class View> class OwnedItemView : public View
{
public:
    explicit OwnedItemView(FileListView *owner);

    // Commits and closes `editor` if it is open in this view.
    void finishEditing(QWidget *editor);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    FileListView *m_owner;
};

// Built once, in OwnedItemView.cpp, where FileListView is complete.
extern template class OwnedItemView<QListView>;
extern template class OwnedItemView<QTreeView>;

} // namespace vexo
