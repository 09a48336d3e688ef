#pragma once

#include "CallLog.h"
#include "platform/DeviceLink.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QQueue>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>

#include <algorithm>

namespace vexo::test
{

// A device link that records every call with its arguments and plays a small
// device: a list of files that listings show, deletes remove, renames rename
// and receives copy out. Any call's result can be scripted ahead; a scripted
// result replaces the call's own behaviour. Thread-safe: the connect thread
// and the window thread call it at the same time.
//
// Log lines read "Call(arg,arg,...)", for example "SetUartIntParam(1,3,57600,8,0,1)".
// Pipes are numbered from 1, clients from 101, and a listing's find handle is 7.
class RecordingDeviceLink : public DeviceLink
{
public:
    static constexpr int FindHandle = 7;
    static constexpr int NotFound = -3;
    static constexpr int Exists = -5;

    // The next call of `call` returns `result` (results queue up per call).
    void script(const QString &call, int result)
    {
        QMutexLocker lock(&m_mutex);
        m_scripted[call].enqueue(result);
    }
    void setFiles(const QVector<FindRecord> &files)
    {
        QMutexLocker lock(&m_mutex);
        m_files = files;
    }
    QVector<FindRecord> files() const
    {
        QMutexLocker lock(&m_mutex);
        return m_files;
    }
    QStringList fileNames() const
    {
        QMutexLocker lock(&m_mutex);
        QStringList names;
        for (const FindRecord &f : m_files)
            names << f.name;
        return names;
    }
    QStringList log() const
    {
        QMutexLocker lock(&m_mutex);
        return m_log;
    }
    // The log without the listing calls (open, next, close).
    QStringList logWithoutListing() const
    {
        QStringList out;
        for (const QString &line : log()) {
            if (!line.startsWith(QLatin1String("RequestFindFile")))
                out << line;
        }
        return out;
    }
    // Only the calls whose names start with `prefix`.
    QStringList calls(const QString &prefix) const { return callsStartingWith(log(), prefix); }
    void clearLog()
    {
        QMutexLocker lock(&m_mutex);
        m_log.clear();
    }

    // While held, ConnectServer waits (up to 10 s) until released, so a test
    // sees an attempt in flight.
    void holdConnect() { holdCall(QStringLiteral("ConnectServer")); }
    // The same for another call (RequestFindFileOpen: a long listing;
    // RequestDeleteFile: a slow delete).
    void holdCall(const QString &call)
    {
        QMutexLocker lock(&m_mutex);
        m_held = true;
        m_heldCall = call;
    }
    void releaseConnect()
    {
        QMutexLocker lock(&m_mutex);
        m_held = false;
        m_release.wakeAll();
    }
    // True once a ConnectServer call is waiting on the hold.
    bool connectWaiting() const
    {
        QMutexLocker lock(&m_mutex);
        return m_waiting > 0;
    }

    int InitUartPipe() override
    {
        return record("InitUartPipe", {}, [this] { return ++m_pipes; });
    }
    int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits) override
    {
        return record("SetUartIntParam", {n(pipe), n(port), n(baud), n(dataBits), n(parity), n(stopBits)});
    }
    int OpenUartPipe(int pipe) override { return record("OpenUartPipe", {n(pipe)}); }
    int CloseUartPipe(int pipe) override { return record("CloseUartPipe", {n(pipe)}); }
    int UnInitUartPipe(int pipe) override { return record("UnInitUartPipe", {n(pipe)}); }
    int InitUSBPipe() override
    {
        return record("InitUSBPipe", {}, [this] { return ++m_pipes; });
    }
    int OpenUSBPipe(int pipe) override { return record("OpenUSBPipe", {n(pipe)}); }
    int CloseUSBPipe(int pipe) override { return record("CloseUSBPipe", {n(pipe)}); }
    int UnInitUSBPipe(int pipe) override { return record("UnInitUSBPipe", {n(pipe)}); }
    int SetPipeDevicePath(int pipe, const QString &path) override
    {
        return record("SetPipeDevicePath", {n(pipe), path});
    }

    int InitVexoFileClient(int pipe) override
    {
        return record("InitVexoFileClient", {n(pipe)}, [this] { return 100 + ++m_clients; });
    }
    int UnInitVexoFileClient(int client) override { return record("UnInitVexoFileClient", {n(client)}); }
    int SetRespondTimeout(int client, int timeoutMs) override
    {
        return record("SetRespondTimeout", {n(client), n(timeoutMs)});
    }
    int ConnectServer(int client) override
    {
        QMutexLocker lock(&m_mutex);
        waitIfHeld("ConnectServer");
        return recordLocked("ConnectServer", {n(client)}, [] { return 0; });
    }
    int CloseConnection(int client) override { return record("CloseConnection", {n(client)}); }

    int RequestFindFileOpen(int client, const QString &pattern, FindRecord *record) override
    {
        QMutexLocker lock(&m_mutex);
        waitIfHeld("RequestFindFileOpen");
        const int result = recordLocked("RequestFindFileOpen", {n(client), pattern},
                                        [this] { return m_files.isEmpty() ? 0 : int(FindHandle); });
        m_cursor = 0;
        if (result > 0 && m_cursor < m_files.size())
            *record = m_files.at(m_cursor++);
        return result;
    }
    int RequestFindFileNext(int client, int find, FindRecord *record) override
    {
        QMutexLocker lock(&m_mutex);
        return recordLocked("RequestFindFileNext", {n(client), n(find)}, [&] {
            if (m_cursor >= m_files.size())
                return 1;
            *record = m_files.at(m_cursor++);
            return 0;
        });
    }
    int RequestFindFileClose(int client, int find) override
    {
        return record("RequestFindFileClose", {n(client), n(find)});
    }
    int RequestLookupFile(int client, const QString &name) override
    {
        return record("RequestLookupFile", {n(client), name},
                      [&] { return indexOf(name) >= 0 ? 0 : NotFound; });
    }
    int RequestFileInfo(int client, const QString &name, FindRecord *info) override
    {
        return record("RequestFileInfo", {n(client), name}, [&] {
            const int i = indexOf(name);
            if (i < 0)
                return NotFound;
            *info = m_files[i];
            return 0;
        });
    }
    int RequestDeleteFile(int client, const QString &name) override
    {
        QMutexLocker lock(&m_mutex);
        waitIfHeld("RequestDeleteFile");
        return recordLocked("RequestDeleteFile", {n(client), name}, [&] {
            const int i = indexOf(name);
            if (i < 0)
                return NotFound;
            m_files.remove(i);
            return 0;
        });
    }
    int RequestRenameFile(int client, const QString &oldName, const QString &newName) override
    {
        return record("RequestRenameFile", {n(client), oldName, newName}, [&] {
            const int i = indexOf(oldName);
            if (i < 0)
                return NotFound;
            if (indexOf(newName) >= 0)
                return Exists;
            m_files[i].name = newName;
            return 0;
        });
    }
    int RequestSendFileEx(int client, const QString &localPath, const QString &deviceName, int *progress,
                          int *, int *, int overwrite) override
    {
        return record("RequestSendFileEx", {n(client), localPath, deviceName, n(overwrite)}, [&] {
            if (indexOf(deviceName) < 0)
                m_files.append({deviceName, 0, QFileInfo(localPath).size()});
            if (progress)
                *progress = 100;
            return 1;
        });
    }
    // A received file holds "data of <name>".
    int RequestReceiveFileEx(int client, const QString &deviceName, const QString &localPath, int *progress,
                             int *, int *, int overwrite) override
    {
        return record("RequestReceiveFileEx", {n(client), deviceName, localPath, n(overwrite)}, [&] {
            if (indexOf(deviceName) < 0)
                return NotFound;
            QFile out(localPath);
            if (!out.open(QIODevice::WriteOnly))
                return -8;
            out.write("data of " + deviceName.toUtf8());
            if (progress)
                *progress = 100;
            return 1;
        });
    }

private:
    static QString n(int value) { return QString::number(value); }
    void waitIfHeld(const char *call)
    {
        if (m_held && m_heldCall == QLatin1String(call)) {
            ++m_waiting;
            m_release.wait(&m_mutex, 10000);
            --m_waiting;
        }
    }

    int indexOf(const QString &name) const
    {
        const auto it =
            std::find_if(m_files.begin(), m_files.end(), [&](const FindRecord &f) { return f.name == name; });
        return it == m_files.end() ? -1 : int(it - m_files.begin());
    }

    template <typename Behaviour>
    int recordLocked(const char *call, const QStringList &args, Behaviour behaviour)
    {
        const QString name = QLatin1String(call);
        m_log << name + QLatin1Char('(') + args.join(QLatin1Char(',')) + QLatin1Char(')');
        auto scripted = m_scripted.find(name);
        if (scripted != m_scripted.end() && !scripted->isEmpty())
            return scripted->dequeue();
        return behaviour();
    }
    template <typename Behaviour> int record(const char *call, const QStringList &args, Behaviour behaviour)
    {
        QMutexLocker lock(&m_mutex);
        return recordLocked(call, args, behaviour);
    }
    int record(const char *call, const QStringList &args)
    {
        return record(call, args, [] { return 0; });
    }

    mutable QMutex m_mutex;
    QWaitCondition m_release;
    QStringList m_log;
    QHash<QString, QQueue<int>> m_scripted;
    QVector<FindRecord> m_files;
    int m_cursor = 0;
    int m_pipes = 0;
    int m_clients = 0;
    bool m_held = false;
    QString m_heldCall;
    int m_waiting = 0;
};

} // namespace vexo::test
