#include "local/LocalFileModel.h"

#include "engine/FileListRow.h"

#include <QDateTime>

namespace vexo
{

LocalFileModel::LocalFileModel(QObject *parent) : QFileSystemModel(parent), m_separator(LocaleDateSeparator())
{
}

void LocalFileModel::setColumnTitles(const QStringList &titles)
{
    m_titles = titles;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

QString LocalFileModel::dateTimeText(const QDateTime &time, const QString &separator)
{
    if (!time.isValid())
        return QString();
    return FileDateText(time.date(), separator) + u' ' + time.time().toString(QStringLiteral("HH:mm"));
}

QVariant LocalFileModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QFileSystemModel::data(index, role);
    const int column = index.column();
    // Folders, pipes, devices and broken links have no size worth showing.
    if (role == Qt::DisplayRole && column == SizeColumn)
        return isDir(index) || !fileInfo(index).isFile() ? QString() : FileSizeText(size(index));
    if (role == Qt::DisplayRole && column == DateColumn)
        return dateTimeText(lastModified(index), m_separator);
    if (role == Qt::TextAlignmentRole && column == SizeColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QFileSystemModel::data(index, role);
}

QVariant LocalFileModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || m_titles.size() < 3)
        return QFileSystemModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn:
        return m_titles.at(0);
    case SizeColumn:
        return m_titles.at(1);
    case DateColumn:
        return m_titles.at(2);
    default:
        return QString();
    }
}

} // namespace vexo
