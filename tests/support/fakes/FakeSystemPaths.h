#pragma once

#include "platform/SystemPaths.h"

namespace vexo::test
{

// Fixed folders, normally inside a test's temporary folder.
class FakeSystemPaths : public SystemPaths
{
public:
    FakeSystemPaths(QString programFolder, QString tempPath)
        : m_program(std::move(programFolder)), m_temp(std::move(tempPath))
    {
    }
    QString programFolder() override { return m_program; }
    QStringList languageFolders() override { return {m_program}; }
    QString systemTempPath() override { return m_temp; }

private:
    QString m_program;
    QString m_temp;
};

} // namespace vexo::test
