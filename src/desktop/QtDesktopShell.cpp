#include "desktop/QtDesktopShell.h"

#include <QDesktopServices>
#include <QUrl>

namespace vexo
{

bool QtDesktopShell::openWithAssociatedProgram(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace vexo
