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
        return true;
    }
    const QStringList &opened() const { return m_opened; }

private:
    QStringList m_opened;
};

} // namespace vexo::test
