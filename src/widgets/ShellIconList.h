#pragma once

#include "widgets/MimeIconProvider.h"

#include <QHash>

namespace vexo
{

class FileRowModel;

// The icons of a device or image pane: the desktop's icon for each file
// type, kept in the pane's row model and looked up once per type.
class ShellIconList
{
public:
    explicit ShellIconList(FileRowModel &rows);

    // The index of the icon for the file at `path` in the row model's icon
    // list. The type comes from the (placeholder) file; a missing file gets
    // the generic file icon.
    int GetShellIconIndex(const QString &path);
    // The generic file icon's index.
    int genericIndex();

private:
    FileRowModel &m_rows;
    MimeIconProvider m_provider;
    QHash<QString, int> m_bySuffix;
    int m_generic = -1;
};

} // namespace vexo
