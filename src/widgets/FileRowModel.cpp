#include "widgets/FileRowModel.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <numeric>

namespace vexo
{

FileRowModel::FileRowModel(QObject *parent)
    : QAbstractTableModel(parent), m_titles{tr("Name"), tr("Size"), tr("Date")}
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &FileRowModel::flushPending);
    m_sinceFlush.start();
}

int FileRowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int FileRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString FileRowModel::cellText(const FileRow &row, int column) const
{
    switch (column) {
    case NameColumn:
        return row.caption;
    case SizeColumn:
        return row.sizeText;
    case DateColumn:
        return row.dateText;
    default:
        return QString();
    }
}

QVariant FileRowModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return QVariant();
    const FileRow &row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, index.column());
    case Qt::EditRole:
        return index.column() == NameColumn ? QVariant(row.caption) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != NameColumn)
            return QVariant();
        if (row.iconIndex >= 0 && row.iconIndex < m_icons.size() && !m_icons.at(row.iconIndex).isNull())
            return m_icons.at(row.iconIndex);
        if (m_fallbackIcon.isNull() && qApp)
            m_fallbackIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        return m_fallbackIcon;
    case Qt::TextAlignmentRole:
        // The size text is padded for a fixed-pitch column; right alignment keeps
        // the digits lined up in a proportional font as well.
        if (index.column() == SizeColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant FileRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_titles.value(section);
}

Qt::ItemFlags FileRowModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (m_editable && index.column() == NameColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool FileRowModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.column() != NameColumn)
        return false;
    return setCaption(index.row(), value.toString());
}

QString FileRowModel::caption(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).caption : QString();
}

bool FileRowModel::setCaption(int row, const QString &caption)
{
    if (row < 0 || row >= m_rows.size())
        return false;
    m_rows[row].caption = caption;
    const QModelIndex cell = index(row, NameColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool FileRowModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > m_rows.size())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    m_rows.erase(m_rows.begin() + row, m_rows.begin() + row + count);
    endRemoveRows();
    return true;
}

void FileRowModel::clear()
{
    m_pending.clear();
    m_flushTimer.stop();
    if (!m_rows.isEmpty()) {
        // Removing rather than resetting keeps the views' column widths.
        beginRemoveRows(QModelIndex(), 0, m_rows.size() - 1);
        m_rows.clear();
        endRemoveRows();
    }
    setSorted(false);
}

void FileRowModel::appendRow(const FileRow &row)
{
    if (m_batchDepth == 0) {
        appendRows({row});
        return;
    }
    m_pending.append(row);
    if (m_sinceFlush.elapsed() >= FlushIntervalMs)
        flushPending();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void FileRowModel::appendRows(const QVector<FileRow> &rows)
{
    m_pending += rows;
    flushPending();
}

void FileRowModel::flushPending()
{
    m_flushTimer.stop();
    m_sinceFlush.restart();
    if (m_pending.isEmpty())
        return;
    const int first = m_rows.size();
    beginInsertRows(QModelIndex(), first, first + m_pending.size() - 1);
    m_rows += m_pending;
    m_pending.clear();
    endInsertRows();
    setSorted(false);
}

void FileRowModel::beginBatch()
{
    if (m_batchDepth++ == 0)
        m_sinceFlush.restart();
}

void FileRowModel::endBatch()
{
    if (m_batchDepth == 0)
        return;
    if (--m_batchDepth == 0)
        flushPending();
}

void FileRowModel::setIcons(const QList<QIcon> &icons)
{
    m_icons = icons;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, NameColumn), index(m_rows.size() - 1, NameColumn), {Qt::DecorationRole});
}

int FileRowModel::addIcon(const QIcon &icon)
{
    m_icons.append(icon);
    return m_icons.size() - 1;
}

void FileRowModel::setColumnTitles(const QStringList &titles)
{
    m_titles = titles;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

void FileRowModel::setSorted(bool sorted)
{
    if (m_sorted == sorted)
        return;
    m_sorted = sorted;
    emit sortStateChanged();
}

void FileRowModel::clickColumn(int column)
{
    if (column < 0 || column >= ColumnCount)
        return;
    Qt::SortOrder order = m_sortOrder;
    if (column == m_sortColumn)
        order = order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    sort(column, order);
}

void FileRowModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    flushPending();
    std::vector<int> perm(m_rows.size());
    std::iota(perm.begin(), perm.end(), 0);
    auto key = [&](int r) { return cellText(m_rows.at(r), column); };
    if (order == Qt::AscendingOrder)
        std::stable_sort(perm.begin(), perm.end(),
                         [&](int a, int b) { return QString::localeAwareCompare(key(a), key(b)) < 0; });
    else
        std::stable_sort(perm.begin(), perm.end(),
                         [&](int a, int b) { return QString::localeAwareCompare(key(a), key(b)) > 0; });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QVector<int> newRowOf(m_rows.size());
    QVector<FileRow> sorted;
    sorted.reserve(m_rows.size());
    for (int i = 0; i < int(perm.size()); ++i) {
        newRowOf[perm[i]] = i;
        sorted.append(m_rows.at(perm[i]));
    }
    m_rows.swap(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &idx : before)
        after.append(index(newRowOf.at(idx.row()), idx.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);

    const bool changed = m_sortColumn != column || m_sortOrder != order || !m_sorted;
    m_sortColumn = column;
    m_sortOrder = order;
    m_sorted = true;
    if (changed)
        emit sortStateChanged();
}

} // namespace vexo
