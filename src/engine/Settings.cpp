#include "engine/Settings.h"

#include "engine/common.h"

#include <QFileInfo>

namespace vexo
{

int StartViewStyle(int viewMode)
{
    switch (viewMode) {
    case 1:
        return vsIcon;
    case 2:
        return vsSmallIcon;
    case 3:
        return vsList;
    case 0:
    case 4:
        return vsReport;
    default:
        return -1;
    }
}

int ViewModeOf(ViewStyle style)
{
    return static_cast<int>(style) + 1;
}

QString StartFolder(const Settings &settings)
{
    if (!(settings.Pathed || settings.LastPath) || GetPathKind(settings.Path) != pkLocal)
        return QString();
    return QFileInfo(settings.Path).isDir() ? settings.Path : QString();
}

} // namespace vexo
