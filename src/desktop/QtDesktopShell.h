#pragma once

#include "platform/DesktopShell.h"

namespace vexo
{

// Opens files through QDesktopServices (xdg-open on Linux desktops).
class QtDesktopShell : public DesktopShell
{
public:
    bool openWithAssociatedProgram(const QString &path) override;
};

} // namespace vexo
