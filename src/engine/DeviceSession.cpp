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

bool DeviceSession::open(int port, int baudRate, const QString &devicePath)
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
        if (port != h.port && (h.client != 0 || h.pipe != 0))
            freeHandlesLocked();
        if (h.connected)
            return true;
        if (h.pipe == 0) {
            int opened = 0;
            if (port == 0) {
                h.pipe = link.InitUSBPipe();
                link.SetPipeDevicePath(h.pipe, devicePath);
                opened = link.OpenUSBPipe(h.pipe);
            } else {
                h.pipe = link.InitUartPipe();
                link.SetPipeDevicePath(h.pipe, devicePath);
                link.SetUartIntParam(h.pipe, port, baudRate, 8, 0, 1);
                opened = link.OpenUartPipe(h.pipe);
            }
            h.pipeOpenFailed = opened != 0;
        }
        if (h.client == 0)
            h.client = link.InitVexoFileClient(h.pipe);
        h.port = port;
        client = h.client;
    }
    // The hello may take the whole time-out: readers are not held meanwhile,
    // and the attempt owns the handles, so nobody replaces them.
    link.SetRespondTimeout(client, RespondTimeoutMs);
    const bool connected = link.ConnectServer(client) == 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handles.connected = connected;
    m_connected = connected;
    return connected;
}

int DeviceSession::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int result = m_link ? m_link->CloseConnection(m_handles.client) : 0;
    m_handles.connected = false;
    m_connected = false;
    return result;
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
        if (h.client != 0) {
            m_link->CloseConnection(h.client);
            m_link->UnInitVexoFileClient(h.client);
        }
        if (h.pipe != 0) {
            if (h.port != 0) {
                m_link->CloseUartPipe(h.pipe);
                m_link->UnInitUartPipe(h.pipe);
            } else {
                m_link->CloseUSBPipe(h.pipe);
                m_link->UnInitUSBPipe(h.pipe);
            }
        }
    }
    h.pipe = 0;
    h.client = 0;
    h.connected = false;
    h.pipeOpenFailed = false;
    m_connected = false;
}

int DeviceSession::client() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handles.client;
}

int DeviceSession::call(const std::function<int(DeviceLink &link, int client)> &request)
{
    return m_link ? request(*m_link, client()) : VEXO_ERR_NOT_CONNECTED;
}

int DeviceSession::deleteFile(const QString &name)
{
    return m_link ? m_link->RequestDeleteFile(client(), name) : VEXO_ERR_NOT_CONNECTED;
}

int DeviceSession::rename(const QString &oldName, const QString &newName)
{
    return m_link ? m_link->RequestRenameFile(client(), oldName, newName) : VEXO_ERR_NOT_CONNECTED;
}

bool DeviceSession::fileExists(const QString &name)
{
    return m_link && m_link->RequestLookupFile(client(), name) == 0;
}

FileFacts DeviceSession::fileFacts(const QString &name)
{
    DeviceLink::FindRecord record;
    // A link that answers only the plain lookup leaves the size negative.
    record.size = -1;
    if (!m_link || m_link->RequestFileInfo(client(), name, &record) != 0 || record.size < 0)
        return {};
    return {true, record.size, record.time};
}

int DeviceSession::checksum(const QString &name, quint32 *crc)
{
    return m_link ? m_link->RequestFileChecksum(client(), name, crc) : VEXO_ERR_NOT_CONNECTED;
}

int DeviceSession::freeSpace(qint64 *freeBytes, qint64 *totalBytes)
{
    return m_link ? m_link->RequestFreeSpace(client(), freeBytes, totalBytes) : VEXO_ERR_NOT_CONNECTED;
}

int DeviceSession::send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
                        int overwrite)
{
    if (!m_link)
        return VEXO_ERR_NOT_CONNECTED;
    return m_link->RequestSendFileEx(client(), localPath, deviceName, progress, nullptr, stop, overwrite);
}

int DeviceSession::receive(const QString &deviceName, const QString &localPath, int *progress, int *stop,
                           int overwrite)
{
    if (!m_link)
        return VEXO_ERR_NOT_CONNECTED;
    return m_link->RequestReceiveFileEx(client(), deviceName, localPath, progress, nullptr, stop, overwrite);
}

bool DeviceSession::IsLinkLost(int result)
{
    return result == VEXO_ERR_NOT_CONNECTED || result == VEXO_ERR_TIMEOUT;
}

} // namespace vexo
