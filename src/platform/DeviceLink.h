#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>

#include <cstdint>

namespace vexo
{

// The device link libraries (serial pipe, USB pipe, file-service client),
// one method per C function, with the same arguments and results. Names are
// converted to and from CP936 here; a name with no CP936 form fails like a
// refused name. Called from the window thread, the connect thread and the
// transfer worker.
class DeviceLink
{
public:
    // One listed device file.
    struct FindRecord {
        QString name;    // up to the first zero byte of the 1,024-byte field
        qint64 time = 0; // ms since 1970-01-01 00:00
        qint64 size = 0;
    };

    virtual ~DeviceLink() = default;

    virtual int InitUartPipe() = 0;
    virtual int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits) = 0;
    virtual int OpenUartPipe(int pipe) = 0;
    virtual int CloseUartPipe(int pipe) = 0;
    virtual int UnInitUartPipe(int pipe) = 0;
    virtual int InitUSBPipe() = 0;
    virtual int OpenUSBPipe(int pipe) = 0;
    virtual int CloseUSBPipe(int pipe) = 0;
    virtual int UnInitUSBPipe(int pipe) = 0;
    virtual int SetPipeDevicePath(int pipe, const QString &path) = 0;

    virtual int InitVexoFileClient(int pipe) = 0;
    virtual int UnInitVexoFileClient(int client) = 0;
    virtual int SetRespondTimeout(int client, int timeoutMs) = 0;
    virtual int ConnectServer(int client) = 0;
    virtual int CloseConnection(int client) = 0;

    virtual int RequestFindFileOpen(int client, const QString &pattern, FindRecord *record) = 0;
    virtual int RequestFindFileNext(int client, int find, FindRecord *record) = 0;
    virtual int RequestFindFileClose(int client, int find) = 0;
    virtual int RequestLookupFile(int client, const QString &name) = 0;
    // The lookup with the file's size and time in *record when it gives 0.
    // Without it a link answers the plain lookup and leaves the record alone.
    virtual int RequestFileInfo(int client, const QString &name, FindRecord *record)
    {
        Q_UNUSED(record);
        return RequestLookupFile(client, name);
    }
    // CRC-32 of a device file computed on the device; -14 (unsupported) when
    // the device's service predates the request.
    virtual int RequestFileChecksum(int client, const QString &name, quint32 *crc)
    {
        Q_UNUSED(client);
        Q_UNUSED(name);
        Q_UNUSED(crc);
        return -14;
    }
    // Free and total bytes of the device; -14 (unsupported) when its
    // service predates the request.
    virtual int RequestFreeSpace(int client, qint64 *freeBytes, qint64 *totalBytes)
    {
        Q_UNUSED(client);
        Q_UNUSED(freeBytes);
        Q_UNUSED(totalBytes);
        return -14;
    }
    // The palmtop's identity (32 hex digits); -14 (unsupported) from a
    // palmtop that has none.
    virtual int RequestDeviceIdentity(int client, QString *id)
    {
        Q_UNUSED(client);
        Q_UNUSED(id);
        return -14;
    }
    virtual int RequestDeleteFile(int client, const QString &name) = 0;
    // Deletes `names`, several requests in flight where the library can:
    // (*results)[i] becomes 0 or the error for names[i]. Once *stop (may be
    // null; another thread sets it) is non-zero no further name is asked and
    // those left get -6 (stopped); after a lost link the rest get that error.
    // Returns 0 when it ran. Without it a link deletes one name at a time.
    virtual int RequestDeleteFiles(int client, const QStringList &names, QVector<int> *results, int *stop)
    {
        results->fill(-6, names.size());
        for (int i = 0; i < names.size(); ++i) {
            if (stop && __atomic_load_n(stop, __ATOMIC_RELAXED) != 0)
                break;
            const int result = RequestDeleteFile(client, names.at(i));
            (*results)[i] = result;
            if (result == -1 || result == -2) { // not connected, time-out: the link is gone
                std::fill(results->begin() + i, results->end(), result);
                break;
            }
        }
        return 0;
    }
    virtual int RequestRenameFile(int client, const QString &oldName, const QString &newName) = 0;
    // Byte counters of the client's transfers, shared with another thread
    // (see the library); null ends the counting. -14 (unsupported) when the
    // library cannot count.
    virtual int SetTransferCounters(int client, std::int64_t *bytesDone, std::int64_t *bytesTotal)
    {
        Q_UNUSED(client);
        Q_UNUSED(bytesDone);
        Q_UNUSED(bytesTotal);
        return -14;
    }
    // progress and stop are shared with another thread (see the library).
    virtual int RequestSendFileEx(int client, const QString &localPath, const QString &deviceName,
                                  int *progress, int *extra, int *stop, int overwrite) = 0;
    virtual int RequestReceiveFileEx(int client, const QString &deviceName, const QString &localPath,
                                     int *progress, int *extra, int *stop, int overwrite) = 0;
};

} // namespace vexo
