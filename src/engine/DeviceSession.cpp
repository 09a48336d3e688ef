#include "engine/DeviceSession.h"

#include "platform/DeviceLink.h"

#include <VexoFileClient.h>

#include <algorithm>
#include <utility>

namespace vexo
{

DeviceSession::DeviceSession(DeviceLink *link) : m_link(link)
{
}

DeviceSession::~DeviceSession()
{
    release();
}

DeviceSession::Handles DeviceSession::handles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles;
}

int DeviceSession::RpcPipePort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles.RpcPipePort;
}

bool DeviceSession::pipeOpenFailed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles.pipeOpenFailed;
}

void DeviceSession::setFollowUpHandler(std::function<void(FollowUp)> handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_followUpHandler = std::move(handler);
}

bool DeviceSession::attemptRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_attempt;
}

bool DeviceSession::beginAttempt()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_link || m_attempt || m_released)
        return false;
    m_attempt = true;
    m_followUp = FollowUp::None;
    return true;
}

DeviceSession::FollowUp DeviceSession::endAttempt()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_attempt = false;
    return std::exchange(m_followUp, FollowUp::None);
}

DeviceSession::Admission DeviceSession::admit(FollowUp request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_attempt)
        return Admission::Now;
    // While it connects, the attempt lists afterwards anyway; once it is
    // listing, a refresh (the end of a copy) must list again after it.
    if (request == FollowUp::Refresh && !m_handles.connected)
        return Admission::Ignored;
    m_followUp = std::max(m_followUp, request);
    return Admission::Deferred;
}

bool DeviceSession::OpenRpcLink(int port, int baudRate, const QString &devicePath, int timeoutMs)
{
    if (!m_link)
        return false;
    DeviceLink &link = *m_link;
    int client = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Handles &h = m_handles;
        // A pipe made for another port goes, with its client. A pipe without
        // a client is released too, so it is never reused on the wrong port.
        if (port != h.RpcPipePort && (h.RpcClient != 0 || h.RpcPipe != 0))
            freeHandlesLocked();
        if (h.connected)
            return true;
        if (h.RpcPipe == 0) {
            int opened = 0;
            if (port == 0) {
                h.RpcPipe = link.InitUSBPipe();
                link.SetPipeDevicePath(h.RpcPipe, devicePath);
                opened = link.OpenUSBPipe(h.RpcPipe);
            } else {
                h.RpcPipe = link.InitUartPipe();
                link.SetPipeDevicePath(h.RpcPipe, devicePath);
                link.SetUartIntParam(h.RpcPipe, port, baudRate, 8, 0, 1);
                opened = link.OpenUartPipe(h.RpcPipe);
            }
            h.pipeOpenFailed = opened != 0;
        }
        if (h.RpcClient == 0)
            h.RpcClient = link.InitVexoFileClient(h.RpcPipe);
        h.RpcPipePort = port;
        h.baudRate = baudRate;
        h.devicePath = devicePath;
        client = h.RpcClient;
    }
    // The hello may take the whole time-out: readers are not held meanwhile,
    // and the attempt owns the handles, so nobody replaces them.
    const bool connected = hello(client, timeoutMs) == 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handles.connected = connected;
    m_connected = connected;
    return connected;
}

bool DeviceSession::reconnect(int timeoutMs)
{
    if (!beginAttempt())
        return false;
    const bool connected = sayHelloAgain(timeoutMs);
    const FollowUp followUp = endAttempt();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (followUp != FollowUp::None && m_followUpHandler)
        m_followUpHandler(followUp);
    return connected;
}

bool DeviceSession::sayHelloAgain(int timeoutMs)
{
    Handles was;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handles.connected = false;
        m_connected = false;
        was = m_handles;
    }
    if (was.RpcClient != 0) {
        const int result = hello(was.RpcClient, timeoutMs);
        if (result == 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_handles.connected = true;
            m_connected = true;
            return true;
        }
        // A silent device: the pipe still has its node, the next try says hello again.
        if (result != VEXO_ERR_NOT_CONNECTED)
            return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        freeHandlesLocked();
    }
    return OpenRpcLink(was.RpcPipePort, was.baudRate, was.devicePath, timeoutMs);
}

int DeviceSession::hello(int client, int timeoutMs)
{
    m_link->SetRespondTimeout(client, timeoutMs);
    const int result = m_link->ConnectServer(client);
    // A short hello must not shorten the patience of the transfers after it.
    if (timeoutMs != RespondTimeoutMs)
        m_link->SetRespondTimeout(client, RespondTimeoutMs);
    return result;
}

DeviceResult DeviceSession::CloseRpcLink()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int result = m_link ? m_link->CloseConnection(m_handles.RpcClient) : 0;
    m_handles.connected = false;
    m_connected = false;
    return DeviceResult::FromLibrary(result);
}

void DeviceSession::markLost()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handles.connected = false;
    m_connected = false;
}

void DeviceSession::release()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool first = !std::exchange(m_released, true);
    if (first && !m_attempt)
        freeHandlesLocked();
}

void DeviceSession::freeHandlesLocked()
{
    Handles &h = m_handles;
    if (m_link) {
        if (h.RpcClient != 0) {
            m_link->CloseConnection(h.RpcClient);
            m_link->UnInitVexoFileClient(h.RpcClient);
        }
        if (h.RpcPipe != 0) {
            if (h.RpcPipePort != 0) {
                m_link->CloseUartPipe(h.RpcPipe);
                m_link->UnInitUartPipe(h.RpcPipe);
            } else {
                m_link->CloseUSBPipe(h.RpcPipe);
                m_link->UnInitUSBPipe(h.RpcPipe);
            }
        }
    }
    h.RpcPipe = 0;
    h.RpcClient = 0;
    h.connected = false;
    h.pipeOpenFailed = false;
    m_connected = false;
}

int DeviceSession::client() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles.RpcClient;
}

DeviceResult DeviceSession::listFiles(const std::function<bool(const DeviceFile &file)> &entry) const
{
    if (!m_link)
        return DeviceResult(DeviceResult::Kind::NotConnected);
    const int c = client();
    DeviceLink::FindRecord record;
    const int find = m_link->RequestFindFileOpen(c, QStringLiteral("*.*"), &record);
    // Above zero a search with its first entry, zero an empty device.
    if (find > 0) {
        while (entry(DeviceFile{record.name, record.time, record.size}) &&
               m_link->RequestFindFileNext(c, find, &record) == 0) {
        }
    }
    // The close follows every open, even a failed one, with the open's result as the handle.
    m_link->RequestFindFileClose(c, find);
    return DeviceResult::FromLibrary(find > 0 ? 0 : find);
}

DeviceResult DeviceSession::deleteFile(const QString &name)
{
    return result([&](DeviceLink &link, int c) { return link.RequestDeleteFile(c, name); });
}

QVector<DeviceResult> DeviceSession::deleteFiles(const QStringList &names, int *stop)
{
    QVector<int> codes(names.size(), VEXO_ERR_STOPPED);
    const int ran =
        m_link ? m_link->RequestDeleteFiles(client(), names, &codes, stop) : VEXO_ERR_NOT_CONNECTED;
    QVector<DeviceResult> results;
    results.reserve(codes.size());
    for (const int code : codes)
        results << DeviceResult::FromLibrary(ran != 0 ? ran : code);
    return results;
}

DeviceResult DeviceSession::rename(const QString &oldName, const QString &newName)
{
    return result([&](DeviceLink &link, int c) { return link.RequestRenameFile(c, oldName, newName); });
}

bool DeviceSession::fileExists(const QString &name) const
{
    return m_link && m_link->RequestLookupFile(client(), name) == 0;
}

FileFacts DeviceSession::fileFacts(const QString &name) const
{
    DeviceLink::FindRecord record;
    // A link that answers only the plain lookup leaves the size negative.
    record.size = -1;
    if (!m_link || m_link->RequestFileInfo(client(), name, &record) != 0 || record.size < 0)
        return {};
    return {true, record.size, record.time};
}

QString DeviceSession::identity() const
{
    QString id;
    if (!m_link || m_link->RequestDeviceIdentity(client(), &id) != 0)
        return {};
    return id;
}

DeviceResult DeviceSession::checksum(const QString &name, quint32 *crc) const
{
    return result([&](DeviceLink &link, int c) { return link.RequestFileChecksum(c, name, crc); });
}

DeviceResult DeviceSession::freeSpace(qint64 *freeBytes, qint64 *totalBytes) const
{
    return result([&](DeviceLink &link, int c) { return link.RequestFreeSpace(c, freeBytes, totalBytes); });
}

bool DeviceSession::countBytes(std::int64_t *bytesDone, std::int64_t *bytesTotal)
{
    return m_link && m_link->SetTransferCounters(client(), bytesDone, bytesTotal) == 0;
}

DeviceResult DeviceSession::send(const QString &localPath, const QString &deviceName, int *progress,
                                 int *stop, bool overwrite)
{
    if (!m_link)
        return DeviceResult(DeviceResult::Kind::NotConnected);
    return DeviceResult::FromTransfer(m_link->RequestSendFileEx(client(), localPath, deviceName, progress,
                                                                nullptr, stop, overwrite ? 1 : 0));
}

DeviceResult DeviceSession::receive(const QString &deviceName, const QString &localPath, int *progress,
                                    int *stop, bool overwrite)
{
    if (!m_link)
        return DeviceResult(DeviceResult::Kind::NotConnected);
    return DeviceResult::FromTransfer(m_link->RequestReceiveFileEx(client(), deviceName, localPath, progress,
                                                                   nullptr, stop, overwrite ? 1 : 0));
}

DeviceResult DeviceSession::result(const std::function<int(DeviceLink &link, int client)> &request) const
{
    return DeviceResult::FromLibrary(m_link ? request(*m_link, client()) : VEXO_ERR_NOT_CONNECTED);
}

} // namespace vexo
