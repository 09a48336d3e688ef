#include "widgets/ShellIconList.h"

#include "widgets/FileRowModel.h"

#include <QFileInfo>

namespace vexo
{

ShellIconList::ShellIconList(FileRowModel &rows) : m_rows(rows)
{
    m_provider.setOptions(QFileIconProvider::DontUseCustomDirectoryIcons);
}

int ShellIconList::genericIndex()
{
    if (m_generic < 0)
        m_generic = m_rows.addIcon(m_provider.icon(QFileIconProvider::File));
    return m_generic;
}

int ShellIconList::GetShellIconIndex(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return genericIndex();
    const QString key = info.suffix().toLower();
    const auto found = m_bySuffix.constFind(key);
    if (found != m_bySuffix.constEnd())
        return *found;
    QIcon icon = m_provider.icon(info);
    const int index = icon.isNull() ? genericIndex() : m_rows.addIcon(icon);
    m_bySuffix.insert(key, index);
    return index;
}

} // namespace vexo
