#pragma once

#include "platform/DesktopShell.h"

#include <QStringList>

namespace vexo::test
{

// Records the files the program asked the desktop to open.
class FakeDesktopShell : public DesktopShell
{
public:
    bool openWithAssociatedProgram(const QString &path) override
    {
        m_opened << path;
        return m_canOpen;
    }
    const QStringList &opened() const { return m_opened; }
    // false: no program takes the files.
    void setCanOpen(bool can) { m_canOpen = can; }

private:
    QStringList m_opened;
    bool m_canOpen = true;
};

} // namespace vexo::test
