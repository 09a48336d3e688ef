#pragma once

#include "CallLog.h"
#include "platform/VDiskLibrary.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>

namespace vexo::test
{

// An image kept in memory that keeps the library's promises (a "w+" file
// replaces the older one only at zfclose, a failed write voids the new
// contents, names are compared ignoring case), logs every call, and fails
// on request. Safe to call from the mount thread and the test at once.
class MemoryVDiskLibrary : public VDiskLibrary
{
public:
    struct File {
        QString name;
        QByteArray data;
        qint32 time = 0;
        std::optional<qint32> size; // listed size when it differs from the data
    };

    // --- set-up and inspection (any thread) ---
    void addFile(const QString &name, const QByteArray &data, qint32 time = 0)
    {
        std::lock_guard lock(m_mutex);
        m_files.append({name, data, time, std::nullopt});
    }
    // A listed entry whose size is given rather than taken from its data.
    void addRecord(const QString &name, qint32 time, qint32 size)
    {
        std::lock_guard lock(m_mutex);
        m_files.append({name, QByteArray(), time, size});
    }
    QStringList names() const
    {
        std::lock_guard lock(m_mutex);
        QStringList out;
        for (const File &f : m_files)
            out << f.name;
        return out;
    }
    std::optional<QByteArray> content(const QString &name) const
    {
        std::lock_guard lock(m_mutex);
        const int at = indexOf(name);
        return at < 0 ? std::nullopt : std::optional<QByteArray>(m_files[at].data);
    }
    QStringList calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Calls whose text starts with `prefix`.
    QStringList calls(const QString &prefix) const { return callsStartingWith(calls(), prefix); }
    void clearCalls()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }
    bool mounted() const
    {
        std::lock_guard lock(m_mutex);
        return m_mounted;
    }

    void setInitResult(int result) { set(m_initResult, result); }
    void setFormatResult(int result) { set(m_formatResult, result); }
    void setRenameResult(std::optional<int> result) { set(m_renameResult, result); }
    void failDelete(const QString &name)
    {
        std::lock_guard lock(m_mutex);
        m_failDelete.insert(name.toLower());
    }
    void failOpen(const QString &name)
    {
        std::lock_guard lock(m_mutex);
        m_failOpen.insert(name.toLower());
    }
    void setLength(const QString &name, int length)
    {
        std::lock_guard lock(m_mutex);
        m_lengths.insert(name.toLower(), length);
    }
    // zfread fails (-1) from its n-th call on (1 = the first).
    void failReadFrom(int call) { set(m_failReadFrom, call); }
    // The image takes at most this many bytes of new file data per file.
    void setCapacity(int bytes) { set(m_capacity, bytes); }
    // What zcheck reports for a mounted image.
    void setProblems(int problems) { set(m_problems, problems); }

    // InitFileSystem waits until release() while the gate is closed.
    void closeGate() { set(m_gateOpen, false); }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_gateOpen = true;
        }
        m_gate.notify_all();
    }
    // True once InitFileSystem waits at the closed gate.
    bool waitingAtGate() const
    {
        std::lock_guard lock(m_mutex);
        return m_atGate;
    }

    // --- the library ---
    void SetVdiskFile(const QString &path) override
    {
        log(QStringLiteral("SetVdiskFile(%1)").arg(path));
        std::lock_guard lock(m_mutex);
        m_named = !path.isEmpty();
    }
    int InitFileSystem() override
    {
        std::unique_lock lock(m_mutex);
        m_calls << QStringLiteral("InitFileSystem");
        m_atGate = !m_gateOpen;
        m_gate.wait(lock, [this] { return m_gateOpen; });
        m_atGate = false;
        m_mounted = m_initResult == 0;
        return m_initResult;
    }
    int FormatFileSystem() override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("FormatFileSystem");
        // As the library: no image named, nothing to format.
        if (!m_named)
            return 1;
        if (m_formatResult == 0) {
            m_files.clear();
            m_open.clear();
        }
        return m_formatResult;
    }
    void DestoryFileSystem() override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("DestoryFileSystem");
        m_mounted = false;
        m_open.clear();
    }
    int OpenFindFile(const QString &folder) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("OpenFindFile(%1)").arg(folder);
        if (!m_mounted || folder != QLatin1String("/"))
            return 0;
        m_searches.insert(++m_nextHandle, 0);
        return m_nextHandle;
    }
    int FindFirst(FindRecord *record, int search) override { return find(record, search, true); }
    int FindNext(FindRecord *record, int search) override { return find(record, search, false); }
    int zfopen(const QString &name, const char *mode) override
    {
        std::lock_guard lock(m_mutex);
        const QString m = QString::fromLatin1(mode);
        m_calls << QStringLiteral("zfopen(%1,%2)").arg(name, m);
        if (!m_mounted || m_failOpen.contains(name.toLower()))
            return 0;
        Open open;
        open.name = name;
        if (m == QLatin1String("r")) {
            const int at = indexOf(name);
            if (at < 0)
                return 0;
            open.data = m_files[at].data;
        } else if (m == QLatin1String("w+")) {
            if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\') || name.toUtf8().size() > 17)
                return 0;
            open.writing = true;
        } else {
            return 0;
        }
        m_open.insert(++m_nextHandle, open);
        return m_nextHandle;
    }
    int zfread(void *buffer, int size, int count, int file) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zfread(%1)").arg(size * count);
        ++m_reads;
        auto it = m_open.find(file);
        if (it == m_open.end() || it->writing || size < 0 || count < 0)
            return -1;
        if (m_failReadFrom > 0 && m_reads >= m_failReadFrom)
            return -1;
        const int n = qMin(size * count, int(it->data.size() - it->position));
        if (n > 0)
            std::memcpy(buffer, it->data.constData() + it->position, size_t(n));
        it->position += n;
        return n;
    }
    int zfwrite(const void *buffer, int size, int count, int file) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zfwrite(%1)").arg(size * count);
        auto it = m_open.find(file);
        if (it == m_open.end() || !it->writing)
            return -1;
        if (size < 0 || count < 0 || it->data.size() + qint64(size) * count > m_capacity) {
            it->failed = true;
            return -1;
        }
        it->data.append(static_cast<const char *>(buffer), size * count);
        return size * count;
    }
    int zfclose(int file) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zfclose");
        auto it = m_open.find(file);
        if (it == m_open.end())
            return -1;
        const Open open = *it;
        m_open.erase(it);
        if (!open.writing)
            return 0;
        if (open.failed)
            return -1;
        const int at = indexOf(open.name);
        if (at < 0)
            m_files.append({open.name, open.data, 0, std::nullopt});
        else
            m_files[at] = {m_files[at].name, open.data, m_files[at].time, std::nullopt};
        return 0;
    }
    int zcheck() override
    {
        std::lock_guard lock(m_mutex);
        return m_mounted ? m_problems : -1;
    }
    int zflen(const QString &name) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zflen(%1)").arg(name);
        if (m_lengths.contains(name.toLower()))
            return m_lengths.value(name.toLower());
        const int at = m_mounted ? indexOf(name) : -1;
        return at < 0 ? -1 : int(m_files[at].data.size());
    }
    int zffind(const QString &name) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zffind(%1)").arg(name);
        return m_mounted && indexOf(name) >= 0 ? 1 : 0;
    }
    int zfdelete(const QString &name) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zfdelete(%1)").arg(name);
        const int at = indexOf(name);
        if (!m_mounted || at < 0 || m_failDelete.contains(name.toLower()))
            return 0;
        m_files.remove(at);
        return 1;
    }
    int zrename(const QString &oldName, const QString &newName) override
    {
        std::lock_guard lock(m_mutex);
        m_calls << QStringLiteral("zrename(%1,%2)").arg(oldName, newName);
        if (m_renameResult)
            return *m_renameResult;
        const int at = indexOf(oldName);
        const int other = indexOf(newName);
        if (!m_mounted || at < 0 || newName.isEmpty() || (other >= 0 && other != at))
            return 0;
        m_files[at].name = newName;
        return 1;
    }

private:
    struct Open {
        QString name;
        QByteArray data;
        qsizetype position = 0;
        bool writing = false;
        bool failed = false;
    };
    template <typename T, typename U> void set(T &field, U value)
    {
        std::lock_guard lock(m_mutex);
        field = value;
    }
    void log(const QString &call)
    {
        std::lock_guard lock(m_mutex);
        m_calls << call;
    }
    int indexOf(const QString &name) const
    {
        for (int i = 0; i < m_files.size(); ++i) {
            if (m_files[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }
    int find(FindRecord *record, int search, bool first)
    {
        std::lock_guard lock(m_mutex);
        m_calls << (first ? QStringLiteral("FindFirst") : QStringLiteral("FindNext"));
        auto it = m_searches.find(search);
        if (!m_mounted || it == m_searches.end())
            return -1;
        if (first)
            *it = 0;
        if (*it >= m_files.size())
            return -1;
        const File &f = m_files[(*it)++];
        record->name = f.name;
        record->time = f.time;
        record->size = f.size ? *f.size : qint32(f.data.size());
        return 0;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_gate;
    QVector<File> m_files;
    QHash<int, Open> m_open;
    QHash<int, int> m_searches;
    QHash<QString, int> m_lengths;
    QSet<QString> m_failDelete;
    QSet<QString> m_failOpen;
    QStringList m_calls;
    std::optional<int> m_renameResult;
    int m_initResult = 0;
    int m_formatResult = 0;
    int m_failReadFrom = 0;
    int m_reads = 0;
    int m_capacity = 1 << 30;
    int m_problems = 0;
    int m_nextHandle = 0;
    bool m_mounted = false;
    bool m_named = false;
    bool m_gateOpen = true;
    bool m_atGate = false;
};

} // namespace vexo::test
