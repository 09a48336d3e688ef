#pragma once

#include "platform/ProfileFiles.h"

#include <QHash>

namespace vexo::test
{

// Profile files kept in memory, with a switch that makes every write fail.
class MemoryProfileFiles : public ProfileFiles
{
public:
    bool exists(const QString &file) override { return m_files.contains(file); }

    QStringList filesIn(const QString &folder, const QString &suffix) override
    {
        QStringList names;
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
            const QString name = it.key().mid(folder.size());
            if (it.key().startsWith(folder) && !name.contains(u'/') &&
                name.endsWith(suffix, Qt::CaseInsensitive))
                names << name;
        }
        names.sort();
        return names;
    }
    QByteArray content(const QString &file) const { return m_files.value(file); }
    void setContent(const QString &file, const QByteArray &bytes) { m_files.insert(file, bytes); }
    void setFailWrites(bool fail) { m_failWrites = fail; }
    int writeCount() const { return m_writes; }

protected:
    std::optional<QByteArray> load(const QString &file) override
    {
        if (!m_files.contains(file))
            return std::nullopt;
        return m_files.value(file);
    }
    bool store(const QString &file, const QByteArray &bytes) override
    {
        ++m_writes;
        if (m_failWrites)
            return false;
        m_files.insert(file, bytes);
        return true;
    }

private:
    QHash<QString, QByteArray> m_files;
    bool m_failWrites = false;
    int m_writes = 0;
};

} // namespace vexo::test
