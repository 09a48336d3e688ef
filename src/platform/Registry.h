#pragma once

#include <QString>

namespace vexo
{

// The system registry, as far as the program uses it: one string value of a
// key under HKEY_LOCAL_MACHINE.
class Registry
{
public:
    virtual ~Registry() = default;

    // Opens keyPath (e.g. "\Software\Tavrin\VexoTools\2"), creating it when
    // missing, and reads the string value `name` into *value (empty when the
    // value is missing). False when the key can be neither opened nor created.
    virtual bool readMachineString(const QString &keyPath, const QString &name, QString *value) = 0;
    // Where its values are kept, in words ("the registry file ...").
    virtual QString where() const { return QStringLiteral("the registry"); }
};

} // namespace vexo
