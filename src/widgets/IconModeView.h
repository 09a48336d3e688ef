#pragma once

#include <QListView>

namespace vexo
{

class FileListView;

// The icon and list styles of a FileListView. Drags and drops are handed to
// the owning list, which lets its owner decide.
class IconModeView : public QListView
{
public:
    explicit IconModeView(FileListView *owner);

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

} // namespace vexo
