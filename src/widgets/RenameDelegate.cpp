#include "widgets/RenameDelegate.h"

#include "widgets/FileListView.h"

#include <QLineEdit>

namespace vexo
{

RenameDelegate::RenameDelegate(FileListView *owner) : QStyledItemDelegate(owner), m_owner(owner)
{
}

QWidget *RenameDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    m_editor = editor;
    return editor;
}

void RenameDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (m_editor == editor)
        m_editor = nullptr;
    QStyledItemDelegate::destroyEditor(editor, index);
}

void RenameDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line) {
        QStyledItemDelegate::setModelData(editor, model, index);
        return;
    }
    // The owner's handler may relist the model, so hold the row persistently.
    const QPersistentModelIndex target(index);
    const QString oldText = index.data(Qt::EditRole).toString();
    const QString newText = line->text();
    if (m_owner->acceptEdit(target, oldText, newText) && target.isValid())
        model->setData(target, newText, Qt::EditRole);
}

} // namespace vexo
