#pragma once

class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QModelIndex;
class QString;
class QWidget;

namespace vexo
{

// What the inner views of a file list and their rename delegates hand to the
// list that holds them: drags, drops and finished renames, which the list
// passes on to its owner. FileListView implements it, so the views and the
// delegate need not include the list.
class ItemViewOwner
{
public:
    virtual ~ItemViewOwner() = default;

    // A drag starts from `view`'s selection.
    virtual void startDragFrom(QAbstractItemView *view) = 0;
    // A drag enters or moves over `view`, or is dropped on it; the event
    // stays refused unless the owner takes it.
    virtual void dragMoveIn(QAbstractItemView *view, QDragMoveEvent *event) = 0;
    virtual void dropIn(QAbstractItemView *view, QDropEvent *event) = 0;
    // An in-place edit of `index` ended; false refuses it and the row keeps `oldText`.
    virtual bool acceptEdit(const QModelIndex &index, const QString &oldText, const QString &newText) = 0;
    // True when `view` shows its names wrapped inside grid cells (the icon
    // view in an icon style).
    virtual bool wrapsNames(const QWidget *view) const = 0;
};

} // namespace vexo
