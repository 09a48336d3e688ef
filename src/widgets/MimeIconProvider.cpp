#include "widgets/MimeIconProvider.h"

#include <QFileInfo>
#include <QMimeDatabase>

namespace vexo
{

QIcon MimeIconProvider::icon(const QFileInfo &info) const
{
    if (info.isDir() || info.isRoot())
        return QFileIconProvider::icon(info);
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    const QMutexLocker lock(&m_lock);
    const auto found = m_byMime.constFind(mime.name());
    if (found != m_byMime.constEnd())
        return *found;
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(mime.genericIconName());
    if (icon.isNull())
        icon = QFileIconProvider::icon(info);
    m_byMime.insert(mime.name(), icon);
    return icon;
}

} // namespace vexo
