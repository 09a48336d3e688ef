#include "widgets/RenameDelegate.h"

#include "widgets/ItemViewOwner.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QTextLayout>

namespace vexo
{

RenameDelegate::RenameDelegate(ItemViewOwner *owner, QObject *parent)
    : QStyledItemDelegate(parent), m_owner(owner)
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

const QListView *RenameDelegate::wrappingView(const QStyleOptionViewItem &option) const
{
    const auto *view = qobject_cast<const QListView *>(option.widget);
    return view && m_owner->wrapsNames(view) ? view : nullptr;
}

QStringList RenameDelegate::wrappedName(const QString &name, const QFont &font, int width, int maxLines)
{
    QStringList lines;
    if (name.isEmpty() || width <= 0 || maxLines <= 0)
        return lines;
    // A name too long for one line but whose stem and extension each fit
    // breaks before the extension, rather than inside it.
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(name) <= width)
        return {name};
    const qsizetype dot = name.lastIndexOf(u'.');
    if (maxLines >= 2 && dot > 0 && metrics.horizontalAdvance(name.left(dot)) <= width &&
        metrics.horizontalAdvance(name.mid(dot)) <= width)
        return {name.left(dot), name.mid(dot)};
    QTextLayout layout(name, font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrap);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last line we have room for takes the rest of the name.
            const QString rest = name.mid(line.textStart());
            lines << metrics.elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << name.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

void RenameDelegate::drawFocusFrame(QPainter *painter, const QStyleOptionViewItem &item)
{
    // A light tint with a rim in the highlight colour, as the style marks
    // the current row's text in the details view.
    QColor rim = item.palette.color(QPalette::Highlight);
    QColor tint = rim;
    rim.setAlpha(170);
    tint.setAlpha(40);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(rim);
    painter->setBrush(tint);
    painter->drawRoundedRect(QRectF(item.rect).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
    painter->restore();
}

QSize RenameDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // Every item is as big as the cell, so the list's uniform item size holds
    // for long names as well as for short ones.
    if (const QListView *view = wrappingView(option))
        return view->gridSize();
    return QStyledItemDelegate::sizeHint(option, index);
}

void RenameDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const
{
    if (!wrappingView(option)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString name = item.text;
    // The style draws the selection and the icon; the name is ours, and so
    // is the focus frame: the style would frame the emptied text, a sliver
    // under the icon. Ours goes round the cell, as the selection does.
    item.text.clear();
    const bool focused = item.state & QStyle::State_HasFocus;
    item.state &= ~QStyle::State_HasFocus;
    QStyle *style = item.widget ? item.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
    if (focused)
        drawFocusFrame(painter, item);

    const QFontMetrics metrics(item.font);
    const bool iconAbove = item.decorationPosition == QStyleOptionViewItem::Top;
    const int gap = 3;
    // Names get all of the cell's width but a pixel each side.
    QRect box = item.rect.adjusted(1, gap, -1, -gap);
    if (iconAbove)
        box.setTop(box.top() + item.decorationSize.height() + gap);
    else
        box.setLeft(box.left() + item.decorationSize.width() + gap);
    const int room = qBound(1, box.height() / metrics.lineSpacing(), NameLines);
    const QStringList lines = wrappedName(name, item.font, box.width(), room);

    const bool selected = item.state & QStyle::State_Selected;
    const bool active = item.state & QStyle::State_Active;
    const QPalette::ColorRole role = selected && active ? QPalette::HighlightedText : QPalette::Text;
    painter->save();
    painter->setFont(item.font);
    painter->setPen(item.palette.color(QPalette::Active, role));
    const int height = lines.size() * metrics.lineSpacing();
    int y = iconAbove ? box.top() : box.top() + (box.height() - height) / 2;
    const Qt::Alignment align = (iconAbove ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
    for (const QString &line : lines) {
        painter->drawText(QRect(box.left(), y, box.width(), metrics.lineSpacing()), align, line);
        y += metrics.lineSpacing();
    }
    painter->restore();
}

} // namespace vexo
