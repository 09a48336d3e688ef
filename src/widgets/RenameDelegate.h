#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QListView;

namespace vexo
{

class ItemViewOwner;

// Item delegate of a FileListView: lets the list's owner accept or refuse an
// in-place rename before the model sees the new text, and tracks the open editor.
// In the two icon styles every item fills its grid cell and its name wraps,
// inside words too, over as many lines as the cell holds (two at most); only
// what does not fit then is elided.
class RenameDelegate : public QStyledItemDelegate
{
public:
    // `owner` is the list, which also holds the delegate as `parent`.
    RenameDelegate(ItemViewOwner *owner, QObject *parent);

    // The open in-place editor, or nullptr.
    QWidget *openEditor() const { return m_editor; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Most lines a name takes in an icon style.
    static constexpr int NameLines = 2;
    // The name's lines as drawn in `width` pixels with `font`: broken before
    // the extension when stem and extension each fit a line, else wrapped at
    // word boundaries or anywhere; at most `maxLines`, the last one elided
    // when the rest does not fit.
    static QStringList wrappedName(const QString &name, const QFont &font, int width, int maxLines);

private:
    // The icon view that `option` paints in when its names wrap in grid
    // cells, or nullptr.
    const QListView *wrappingView(const QStyleOptionViewItem &option) const;
    // The current item's mark while its list has the keyboard focus.
    static void drawFocusFrame(QPainter *painter, const QStyleOptionViewItem &item);

    ItemViewOwner *m_owner;
    mutable QPointer<QWidget> m_editor;
};

} // namespace vexo
