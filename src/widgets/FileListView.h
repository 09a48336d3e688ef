#pragma once

#include "widgets/ItemViewOwner.h"

#include <QList>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QWidget>

#include <optional>

class QAbstractItemModel;
class QAbstractItemView;
class QDragMoveEvent;
class QDropEvent;
class QHeaderView;
class QItemSelectionModel;
class QListView;
class QMimeData;
class QStackedWidget;
class QTimer;
class QTreeView;

namespace vexo
{

class DetailModeView;
class IconModeView;
class RenameDelegate;

// The file list of all three panes: one model shown in one of four view
// styles, switchable at run time without losing the selection or the current
// row. Selection is extended (Ctrl/Shift) and always covers whole rows.
//
// Works with any flat model (rows under rootIndex(), names in column 0): the
// device and image panes use FileRowModel, whose header-click sort rule it
// applies; other models (QFileSystemModel for the local pane) sort through the
// model in the usual way.
class FileListView : public QWidget, private ItemViewOwner
{
    Q_OBJECT
public:
    // Connects a remote pane's handlers: key releases, double clicks and
    // in-place edits (answered on the spot, so the edit can be refused).
    template <typename Pane, typename KeyUp, typename DblClick, typename Edited>
    void connectPane(Pane *pane, KeyUp keyUp, DblClick dblClick, Edited edited)
    {
        connect(this, &FileListView::keyReleased, pane, keyUp);
        connect(this, &FileListView::itemDoubleClicked, pane, dblClick);
        connect(this, &FileListView::itemEdited, pane, edited, Qt::DirectConnection);
    }

    // Numbering as the view buttons: 0 large icons, 1 small icons, 2 list, 3 details.
    enum class ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit FileListView(QWidget *parent = nullptr);
    ~FileListView() override;

    // The column widths of the device and image panes, in pixels.
    static QList<int> defaultColumnWidths() { return {166, 105, 88}; }
    // SimSun 12 px, falling back to other CJK fonts on systems without it.
    static QFont defaultFont();
    // The list that `source` (a QDropEvent::source()) belongs to, or nullptr.
    static FileListView *fromDragSource(QObject *source);

    // Shows `model` (not owned; it must outlive the view or be replaced first).
    // Selection and current row are shared by all view styles.
    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *model() const { return m_model; }
    QItemSelectionModel *selectionModel() const { return m_selection; }
    // The parent index whose children are the rows (invalid = top level).
    void setRootIndex(const QModelIndex &index);
    QModelIndex rootIndex() const;

    void setViewStyle(ViewStyle style);
    ViewStyle viewStyle() const { return m_style; }
    // Grid lines between rows and columns; they show in the details view only.
    void setGridLines(bool on);
    bool gridLines() const { return m_gridLines; }
    // Widths of the details view's columns, from the first; kept across model
    // resets. Columns beyond the list keep their default width.
    void setColumnWidths(const QList<int> &widths);
    QList<int> columnWidths() const { return m_columnWidths; }
    // Columns the details view leaves out (by model column); kept across
    // model changes.
    void setHiddenColumns(const QList<int> &columns);
    // Whether the user can start a drag (default on) and whether drags are
    // offered to dragOver/dropped (default on).
    void setDragEnabled(bool on);
    void setDropEnabled(bool on);
    bool dragEnabled() const { return m_dragEnabled; }
    bool dropEnabled() const { return m_dropEnabled; }

    // Rows (column 0 under rootIndex()).
    int rowCount() const;
    QModelIndex indexOfRow(int row) const;
    bool isRowSelected(int row) const;
    // Selected rows as column-0 indexes, top to bottom.
    QModelIndexList selectedRows() const;
    void selectAll();
    void clearSelection();
    // The current row as a column-0 index (invalid when none).
    QModelIndex currentIndex() const;
    // Makes `row` current and the only selected row; out of range clears.
    void setCurrentRow(int row);

    // Opens the in-place editor on the current row's name. Also bound to F2 and
    // to a slow second click on the one selected row (not the click that
    // focused the list; any key or further click in between cancels it).
    void editCurrent();
    // True while an in-place editor is open.
    bool isEditing() const;
    // True when this list, one of its views or an editor in it has keyboard focus.
    bool hasFocusInside() const;

    // The view that shows the current style, and the two inner views (for
    // tests and for setting up header titles).
    QAbstractItemView *currentView() const;
    QListView *iconView() const;
    QTreeView *detailView() const;
    QHeaderView *header() const;

signals:
    // A key was pressed/released in the list (auto-repeat releases are left
    // out; F2 is taken by editCurrent and not reported as pressed). Not emitted
    // for keys typed into an open in-place editor. The key still reaches the
    // view afterwards (type-ahead search, arrows, Enter = itemActivated).
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);
    void keyReleased(int key, Qt::KeyboardModifiers modifiers);
    // Mouse double-click on a row (column-0 index).
    void itemDoubleClicked(const QModelIndex &index);
    // Enter on the current row or the platform's activation gesture (which
    // includes a double-click), column-0 index.
    void itemActivated(const QModelIndex &index);
    // An in-place edit of `row` ended with Enter or by leaving the editor (also
    // when the text is unchanged); Escape does not emit it. Handlers run
    // synchronously (connect directly) and may set *accept to false to refuse:
    // the row then keeps `oldText`. With *accept true the text is given to the
    // model (for QFileSystemModel that renames the file).
    void itemEdited(int row, const QString &oldText, const QString &newText, bool *accept);
    // A drag is starting from `rows`. Handlers fill `mimeData`; left empty,
    // the model's own mime data is used. Connect directly.
    void dragStarting(const QModelIndexList &rows, QMimeData *mimeData);
    // A drag that started here ended with `action` (Qt::IgnoreAction = nothing dropped).
    void dragFinished(Qt::DropAction action);
    // A drag enters or moves over the list; `target` is the row under the
    // pointer (invalid over empty space). The event starts ignored: a handler
    // accepts it (event->acceptProposedAction()) to allow the drop. A refused
    // enter refuses the drag for as long as it stays over the list. Connect directly.
    void dragOver(QDragMoveEvent *event, const QModelIndex &target);
    // Something was dropped on the list (only after dragOver accepted it).
    // Handlers accept the event when they took the data. Connect directly.
    void dropped(QDropEvent *event, const QModelIndex &target);
    // The user asked for the list's context menu (right button, the Menu key
    // or Shift+F10), at `globalPos`. The view has already updated the
    // selection for a right click.
    void contextMenuRequested(const QPoint &globalPos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the inner views and their delegates hand back to the list.
    void startDragFrom(QAbstractItemView *view) override;
    void dragMoveIn(QAbstractItemView *view, QDragMoveEvent *event) override;
    void dropIn(QAbstractItemView *view, QDropEvent *event) override;
    bool acceptEdit(const QModelIndex &index, const QString &oldText, const QString &newText) override;
    bool wrapsNames(const QWidget *view) const override;

    // The row under a drag or drop in `view` (column 0; invalid over empty
    // space), or nothing when drops are off. Leaves the event refused.
    std::optional<QModelIndex> dropTarget(QAbstractItemView *view, QDropEvent *event) const;
    void finishEditing();
    // The slow-second-click rename: armed by a press on the only selected
    // row of a list that already had focus, started on the release.
    void viewportMouseEvent(QAbstractItemView *view, QEvent *event);
    void cancelPendingRename();
    void startPendingRename();
    void configureIconModeView();
    void applyColumnWidths();
    void updateSortIndicator();
    void onHeaderClicked(int section);

    QStackedWidget *m_stack = nullptr;
    IconModeView *m_list = nullptr;
    DetailModeView *m_detail = nullptr;
    // One delegate per view: a delegate's commit and close signals go to every
    // view that uses it, and a view warns about editors that are not its own.
    RenameDelegate *m_listDelegate = nullptr;
    RenameDelegate *m_detailDelegate = nullptr;
    QPointer<QAbstractItemModel> m_model;
    QItemSelectionModel *m_selection = nullptr;
    QList<QMetaObject::Connection> m_modelConnections;
    QList<int> m_columnWidths = defaultColumnWidths();
    QList<int> m_hiddenColumns;
    ViewStyle m_style = ViewStyle::Details;
    bool m_gridLines = false;
    bool m_dragEnabled = true;
    bool m_dropEnabled = true;
    QTimer *m_renameTimer = nullptr;
    QPersistentModelIndex m_renameRow;
    // The press that comes with focusing the list never arms a rename.
    bool m_focusedByClick = false;
};

} // namespace vexo
