#pragma once

#include <QString>

namespace vexo
{

// What the desktop does with files: opening them with their programs.
class DesktopShell
{
public:
    virtual ~DesktopShell() = default;
    // Opens a local file with the program the desktop associates with its
    // type; false when nothing could be started.
    virtual bool openWithAssociatedProgram(const QString &path) = 0;
};

} // namespace vexo
