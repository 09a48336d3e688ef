#include "platform/ProfileRegistry.h"

#include "platform/ProfileFiles.h"

#include <QDir>

namespace vexo
{

ProfileRegistry::ProfileRegistry(ProfileFiles &profiles, QString folder)
    : m_profiles(profiles), m_folder(std::move(folder))
{
    if (!m_folder.endsWith(u'/'))
        m_folder += u'/';
}

QString ProfileRegistry::defaultFolder()
{
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!home.startsWith(u'/'))
        home = QDir::homePath() + QStringLiteral("/.config");
    return home + QStringLiteral("/VexoTools/");
}

bool ProfileRegistry::readMachineString(const QString &keyPath, const QString &name, QString *value)
{
    if (!QDir().mkpath(m_folder))
        return false;
    const QString section = QStringLiteral("HKEY_LOCAL_MACHINE") + keyPath;
    // Profile files answer a missing entry with the default given, so the
    // entry is missing only when two different defaults both come back.
    const QString one = QStringLiteral("0"), other = QStringLiteral("1");
    QString text = m_profiles.readString(fileName(), section, name, one);
    if (text == one && m_profiles.readString(fileName(), section, name, other) == other) {
        if (!m_profiles.writeString(fileName(), section, name, QString()))
            return false;
        text.clear();
    }
    if (value)
        *value = text;
    return true;
}

} // namespace vexo
