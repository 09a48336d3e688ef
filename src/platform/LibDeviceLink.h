#pragma once

#include "platform/DeviceLink.h"

namespace vexo
{

// The device link on our serial pipe, USB pipe and file-client libraries.
// Device names cross as CP936; a name with no CP936 form is refused with the
// library's bad-name result before anything is sent. Local paths cross as
// native file names. The libraries serialise the calls on one client, so any
// thread may call.
class LibDeviceLink : public DeviceLink
{
public:
    int InitUartPipe() override;
    int SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits) override;
    int OpenUartPipe(int pipe) override;
    int CloseUartPipe(int pipe) override;
    int UnInitUartPipe(int pipe) override;
    int InitUSBPipe() override;
    int OpenUSBPipe(int pipe) override;
    int CloseUSBPipe(int pipe) override;
    int UnInitUSBPipe(int pipe) override;
    int SetPipeDevicePath(int pipe, const QString &path) override;

    int InitVexoFileClient(int pipe) override;
    int UnInitVexoFileClient(int client) override;
    int SetRespondTimeout(int client, int timeoutMs) override;
    int ConnectServer(int client) override;
    int CloseConnection(int client) override;

    int RequestFindFileOpen(int client, const QString &pattern, FindRecord *record) override;
    int RequestFindFileNext(int client, int find, FindRecord *record) override;
    int RequestFindFileClose(int client, int find) override;
    int RequestLookupFile(int client, const QString &name) override;
    int RequestFileInfo(int client, const QString &name, FindRecord *record) override;
    int RequestFileChecksum(int client, const QString &name, quint32 *crc) override;
    int RequestFreeSpace(int client, qint64 *freeBytes, qint64 *totalBytes) override;
    int RequestDeviceIdentity(int client, QString *id) override;
    int RequestDeleteFile(int client, const QString &name) override;
    int RequestDeleteFiles(int client, const QStringList &names, QVector<int> *results, int *stop) override;
    int RequestRenameFile(int client, const QString &oldName, const QString &newName) override;
    int SetTransferCounters(int client, std::int64_t *bytesDone, std::int64_t *bytesTotal) override;
    int RequestSendFileEx(int client, const QString &localPath, const QString &deviceName, int *progress,
                          int *extra, int *stop, int overwrite) override;
    int RequestReceiveFileEx(int client, const QString &deviceName, const QString &localPath, int *progress,
                             int *extra, int *stop, int overwrite) override;
};

} // namespace vexo
