#pragma once

#include "platform/Registry.h"

namespace vexo
{

class ProfileFiles;

// The registry kept in a profile file, "registry.ini" in a folder of its
// own: a key is the section named by its full path under the root
// ([HKEY_LOCAL_MACHINE\Software\Tavrin\VexoTools\2]), a value the entry of
// that name, taken as stored (nothing is expanded).
//
// Opening a key creates the folder and the file when they are missing. A key
// whose value is missing is created by writing that value empty, which reads
// the same as a missing value and leaves an entry for the user to fill in.
// When that write fails (or the folder cannot be made) the key counts as
// one that can be neither opened nor created.
class ProfileRegistry : public Registry
{
public:
    // `folder` holds registry.ini; with or without a trailing "/".
    ProfileRegistry(ProfileFiles &profiles, QString folder);

    // $XDG_CONFIG_HOME/VexoTools/ (an absolute XDG_CONFIG_HOME only), by
    // default ~/.config/VexoTools/.
    static QString defaultFolder();

    // The file that holds the keys.
    QString fileName() const { return m_folder + QStringLiteral("registry.ini"); }

    bool readMachineString(const QString &keyPath, const QString &name, QString *value) override;
    QString where() const override { return QStringLiteral("the registry file ") + fileName(); }

private:
    ProfileFiles &m_profiles;
    QString m_folder;
};

} // namespace vexo
