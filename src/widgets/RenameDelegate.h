#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

namespace vexo
{

class FileListView;

// Item delegate of a FileListView: lets the list's owner accept or refuse an
// in-place rename before the model sees the new text, and tracks the open editor.
class RenameDelegate : public QStyledItemDelegate
{
public:
    explicit RenameDelegate(FileListView *owner);

    // The open in-place editor, or nullptr.
    QWidget *openEditor() const { return m_editor; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

private:
    FileListView *m_owner;
    mutable QPointer<QWidget> m_editor;
};

} // namespace vexo
