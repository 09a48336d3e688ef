#pragma once

#include <QTreeView>

namespace vexo
{

class FileListView;

// The details style of a FileListView: a flat tree view with whole-row
// selection and optional grid lines. Drags and drops go to the owning list.
class DetailModeView : public QTreeView
{
public:
    explicit DetailModeView(FileListView *owner);

    void setGridLines(bool on);
    bool gridLines() const { return m_gridLines; }
    // Commits and closes `editor` if it is open in this view.
    void finishEditing(QWidget *editor);

protected:
    void paintEvent(QPaintEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QColor gridColor() const;
    void paintColumnLines(QPainter *painter, int top, int bottom) const;
    void paintEmptyGrid();

    FileListView *m_owner;
    bool m_gridLines = false;
};

} // namespace vexo
