#include "platform/LibDeviceLink.h"

#include "platform/CodePage.h"

#include <VexoFileClient.h>
#include <VexoPipe.h>
#include <VexoUSBPipe.h>
#include <VexoUartPipe.h>

#include <QFile>
#include <QtEndian>

#include <cstring>
#include <optional>
#include <vector>

namespace vexo
{

namespace
{

static_assert(sizeof(RpcFindRecord) == 1060, "the find record is 1,060 bytes");

constexpr int TimeOffset = 16;
constexpr int SizeOffset = 24;
constexpr int NameOffset = 36;
constexpr int NameBytes = 1024;

std::optional<QByteArray> cp936(const QString &name)
{
    bool ok = false;
    QByteArray bytes = CodePage::toCp936(name, &ok);
    if (!ok)
        return std::nullopt;
    return bytes;
}

// The record is read byte by byte at its documented offsets, whatever the
// host's byte order or the compiler's idea of the struct.
DeviceLink::FindRecord decode(const RpcFindRecord &raw)
{
    const auto *bytes = reinterpret_cast<const uchar *>(&raw);
    DeviceLink::FindRecord record;
    record.time = qFromLittleEndian<qint64>(bytes + TimeOffset);
    record.size = qFromLittleEndian<qint64>(bytes + SizeOffset);
    const char *name = reinterpret_cast<const char *>(bytes + NameOffset);
    const void *zero = std::memchr(name, 0, NameBytes);
    const qsizetype length = zero ? static_cast<const char *>(zero) - name : NameBytes;
    record.name = CodePage::fromCp936(QByteArray(name, length));
    return record;
}

} // namespace

int LibDeviceLink::InitUartPipe()
{
    return ::InitUartPipe();
}

int LibDeviceLink::SetUartIntParam(int pipe, int port, int baud, int dataBits, int parity, int stopBits)
{
    return ::SetUartIntParam(pipe, port, baud, dataBits, parity, stopBits);
}

int LibDeviceLink::OpenUartPipe(int pipe)
{
    return ::OpenUartPipe(pipe);
}

int LibDeviceLink::CloseUartPipe(int pipe)
{
    return ::CloseUartPipe(pipe);
}

int LibDeviceLink::UnInitUartPipe(int pipe)
{
    return ::UnInitUartPipe(pipe);
}

int LibDeviceLink::InitUSBPipe()
{
    return ::InitUSBPipe();
}

int LibDeviceLink::OpenUSBPipe(int pipe)
{
    return ::OpenUSBPipe(pipe);
}

int LibDeviceLink::CloseUSBPipe(int pipe)
{
    return ::CloseUSBPipe(pipe);
}

int LibDeviceLink::UnInitUSBPipe(int pipe)
{
    return ::UnInitUSBPipe(pipe);
}

int LibDeviceLink::SetPipeDevicePath(int pipe, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    return ::SetPipeDevicePath(pipe, native.isEmpty() ? nullptr : native.constData());
}

int LibDeviceLink::InitVexoFileClient(int pipe)
{
    return ::InitVexoFileClient(pipe);
}

int LibDeviceLink::UnInitVexoFileClient(int client)
{
    return ::UnInitVexoFileClient(client);
}

int LibDeviceLink::SetRespondTimeout(int client, int timeoutMs)
{
    return ::SetRespondTimeout(client, timeoutMs);
}

int LibDeviceLink::ConnectServer(int client)
{
    return ::ConnectServer(client);
}

int LibDeviceLink::CloseConnection(int client)
{
    return ::CloseConnection(client);
}

int LibDeviceLink::RequestFindFileOpen(int client, const QString &pattern, FindRecord *record)
{
    const auto bytes = cp936(pattern);
    if (!bytes || !record)
        return VEXO_ERR_BAD_NAME;
    RpcFindRecord raw{};
    const int find = ::RequestFindFileOpen(client, bytes->constData(), &raw);
    if (find > 0)
        *record = decode(raw);
    return find;
}

int LibDeviceLink::RequestFindFileNext(int client, int find, FindRecord *record)
{
    if (!record)
        return VEXO_ERR_BAD_HANDLE;
    RpcFindRecord raw{};
    const int result = ::RequestFindFileNext(client, find, &raw);
    if (result == 0)
        *record = decode(raw);
    return result;
}

int LibDeviceLink::RequestFindFileClose(int client, int find)
{
    return ::RequestFindFileClose(client, find);
}

int LibDeviceLink::RequestLookupFile(int client, const QString &name)
{
    const auto bytes = cp936(name);
    return bytes ? ::RequestLookupFile(client, bytes->constData()) : VEXO_ERR_BAD_NAME;
}

int LibDeviceLink::RequestFileInfo(int client, const QString &name, FindRecord *record)
{
    const auto bytes = cp936(name);
    if (!bytes || !record)
        return VEXO_ERR_BAD_NAME;
    RpcFindRecord raw{};
    const int result = ::RequestFileInfo(client, bytes->constData(), &raw);
    if (result == 0)
        *record = decode(raw);
    return result;
}

int LibDeviceLink::RequestFileChecksum(int client, const QString &name, quint32 *crc)
{
    const auto bytes = cp936(name);
    if (!bytes)
        return VEXO_ERR_BAD_NAME;
    uint32_t value = 0;
    const int result = ::RequestFileChecksum(client, bytes->constData(), &value);
    if (crc)
        *crc = value;
    return result;
}

int LibDeviceLink::RequestFreeSpace(int client, qint64 *freeBytes, qint64 *totalBytes)
{
    int64_t free = 0, total = 0;
    const int result = ::RequestFreeSpace(client, &free, &total);
    if (freeBytes)
        *freeBytes = free;
    if (totalBytes)
        *totalBytes = total;
    return result;
}

int LibDeviceLink::RequestDeviceIdentity(int client, QString *id)
{
    char text[33] = {};
    const int result = ::RequestDeviceIdentity(client, text, sizeof text);
    if (id)
        *id = result == 0 ? QString::fromLatin1(text) : QString();
    return result;
}

int LibDeviceLink::RequestDeleteFile(int client, const QString &name)
{
    const auto bytes = cp936(name);
    return bytes ? ::RequestDeleteFile(client, bytes->constData()) : VEXO_ERR_BAD_NAME;
}

int LibDeviceLink::RequestDeleteFiles(int client, const QStringList &names, QVector<int> *results, int *stop)
{
    results->fill(VEXO_ERR_BAD_NAME, names.size());
    // Names with no CP936 form are refused here; the rest go in one call.
    QList<QByteArray> bytes;
    QVector<int> sent;
    for (int i = 0; i < names.size(); ++i) {
        if (const auto name = cp936(names.at(i))) {
            bytes.append(*name);
            sent.append(i);
        }
    }
    std::vector<const char *> pointers;
    for (const QByteArray &name : std::as_const(bytes))
        pointers.push_back(name.constData());
    std::vector<int> outcome(pointers.size(), VEXO_ERR_STOPPED);
    const int result = ::RequestDeleteFiles(client, pointers.data(), static_cast<int>(pointers.size()),
                                            outcome.data(), stop);
    for (int k = 0; k < sent.size(); ++k)
        (*results)[sent.at(k)] = outcome[static_cast<size_t>(k)];
    return result;
}

int LibDeviceLink::RequestRenameFile(int client, const QString &oldName, const QString &newName)
{
    const auto from = cp936(oldName);
    const auto to = cp936(newName);
    if (!from || !to)
        return VEXO_ERR_BAD_NAME;
    return ::RequestRenameFile(client, from->constData(), to->constData());
}

int LibDeviceLink::SetTransferCounters(int client, std::int64_t *bytesDone, std::int64_t *bytesTotal)
{
    return ::SetTransferCounters(client, bytesDone, bytesTotal);
}

int LibDeviceLink::RequestSendFileEx(int client, const QString &localPath, const QString &deviceName,
                                     int *progress, int *extra, int *stop, int overwrite)
{
    const auto name = cp936(deviceName);
    if (!name)
        return VEXO_ERR_BAD_NAME;
    const QByteArray local = QFile::encodeName(localPath);
    return ::RequestSendFileEx(client, local.constData(), name->constData(), progress, extra, stop,
                               overwrite);
}

int LibDeviceLink::RequestReceiveFileEx(int client, const QString &deviceName, const QString &localPath,
                                        int *progress, int *extra, int *stop, int overwrite)
{
    const auto name = cp936(deviceName);
    if (!name)
        return VEXO_ERR_BAD_NAME;
    const QByteArray local = QFile::encodeName(localPath);
    return ::RequestReceiveFileEx(client, name->constData(), local.constData(), progress, extra, stop,
                                  overwrite);
}

} // namespace vexo
