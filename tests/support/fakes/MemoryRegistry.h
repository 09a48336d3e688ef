#pragma once

#include "platform/Registry.h"

#include <QHash>
#include <QStringList>

#include <mutex>

namespace vexo::test
{

// String values under HKEY_LOCAL_MACHINE, with a switch for keys that cannot
// be opened. Logs the keys asked for; safe to call from the mount thread.
class MemoryRegistry : public Registry
{
public:
    void setValue(const QString &keyPath, const QString &name, const QString &value)
    {
        std::lock_guard lock(m_mutex);
        m_values.insert(keyPath + u'|' + name, value);
    }
    void setOpenFails(bool fails)
    {
        std::lock_guard lock(m_mutex);
        m_openFails = fails;
    }
    QStringList reads() const
    {
        std::lock_guard lock(m_mutex);
        return m_reads;
    }

    bool readMachineString(const QString &keyPath, const QString &name, QString *value) override
    {
        std::lock_guard lock(m_mutex);
        m_reads << keyPath + u'|' + name;
        if (m_openFails)
            return false;
        *value = m_values.value(keyPath + u'|' + name);
        return true;
    }

private:
    mutable std::mutex m_mutex;
    QHash<QString, QString> m_values;
    QStringList m_reads;
    bool m_openFails = false;
};

} // namespace vexo::test
