#pragma once

#include "engine/DeviceAccess.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>
#include <mutex>

namespace vexo
{

class DeviceLink;

// The link to the palmtop and the only door to it: the pipe (RpcPipe), the
// file-service client on it (RpcClient), the port the pipe was made for
// (RpcPipePort), whether the client is connected (RpcConnected) and whether
// a connection attempt runs. Nothing else opens, closes, lists or transfers;
// every request goes through here and comes back as a DeviceResult.
//
// Any thread may call. The handles and the flags change together under one
// lock, so a reader never sees a pipe of one port with the client of
// another. From beginAttempt() to endAttempt() the attempt's thread owns the
// handles: a disconnect, a change of link settings or a refresh asked for
// meanwhile is recorded (admit) and handed back by endAttempt(), never run
// under the attempt. Without a link service nothing is ever attempted.
class DeviceSession : public DeviceAccess
{
public:
    // What a request needs once the running attempt has ended; a later,
    // stronger request replaces a weaker one.
    enum class FollowUp { None, Refresh, Reconnect, Disconnect };
    // What the caller of admit() does with its request.
    enum class Admission {
        Now,      // no attempt runs: carry it out
        Deferred, // recorded: endAttempt() hands it back
        Ignored,  // a refresh while the attempt still connects: it lists anyway
    };

    explicit DeviceSession(DeviceLink *link);
    ~DeviceSession() override;
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    bool hasLink() const { return m_link != nullptr; }
    bool RpcConnected() const override { return m_connected.load(); }
    // The port the pipe was made for (0 = USB, n = COMn); 0 at start.
    int RpcPipePort() const;
    // The last pipe's open call failed: its node is worth a look.
    bool pipeOpenFailed() const;
    bool attemptRunning() const;

    // Starts an attempt; false while one runs, after release(), or without a link.
    bool beginAttempt();
    // The open sequence (attempt thread): a pipe and client of another port
    // go first; pipe and client are made only when missing. True when
    // connected. The hello waits at most `timeoutMs`; later requests get
    // RespondTimeoutMs.
    bool OpenRpcLink(int port, int baudRate, const QString &devicePath, int timeoutMs = RespondTimeoutMs);
    // Ends the attempt and hands back what was asked for meanwhile.
    FollowUp endAttempt();
    // A request (Refresh, Reconnect or Disconnect) against the running attempt.
    Admission admit(FollowUp request);
    // Where reconnect() hands what was asked for during it, on the thread
    // that reconnected; empty drops it.
    void setFollowUpHandler(std::function<void(FollowUp)> handler);

    // Closes the connection; pipe and client stay for the next attempt.
    // Ok when closed. Not during an attempt: admit first.
    DeviceResult CloseRpcLink();
    // A call found the link gone: disconnected, handles kept (closing would
    // wait for a silent device once more).
    void markLost();
    // At exit: closes and frees client and pipe, and refuses further attempts.
    // An attempt still running keeps them (they go with the process).
    void release();

    // The device's requests; any thread. Without a client they fail like a
    // closed link (NotConnected).
    bool fileExists(const QString &name) const override;
    FileFacts fileFacts(const QString &name) const override;
    DeviceResult listFiles(const std::function<bool(const DeviceFile &file)> &entry) const override;
    QString identity() const override;
    DeviceResult checksum(const QString &name, quint32 *crc) const override;
    DeviceResult freeSpace(qint64 *freeBytes, qint64 *totalBytes) const override;
    DeviceResult deleteFile(const QString &name) override;
    // Deletes `names`, several requests in flight; `stop` (shared with the
    // library, non-zero) ends it after the requests already sent. One result
    // per name: Stopped for those not sent; all alike when it could not run.
    QVector<DeviceResult> deleteFiles(const QStringList &names, int *stop);
    DeviceResult rename(const QString &oldName, const QString &newName);
    bool countBytes(std::int64_t *bytesDone, std::int64_t *bytesTotal) override;
    DeviceResult send(const QString &localPath, const QString &deviceName, int *progress, int *stop,
                      bool overwrite) override;
    DeviceResult receive(const QString &deviceName, const QString &localPath, int *progress, int *stop,
                         bool overwrite) override;
    // A call found the link lost (any thread but an attempt's): as an
    // attempt of its own, so nothing else runs on the link meanwhile, says
    // hello again on the same pipe, waiting at most `timeoutMs`. A pipe
    // whose node is gone (USB unplugged) is made anew for the port, speed
    // and node it had. What was asked for meanwhile goes to the follow-up
    // handler. True when connected; false at once while an attempt runs.
    bool reconnect(int timeoutMs) override;

    // The response time-out every client gets, in ms.
    static constexpr int RespondTimeoutMs = 3000;

protected:
    // One consistent view of the link, for a reader that must see the
    // handles together.
    struct Handles {
        int RpcPipe = 0;     // open serial or USB pipe, 0 = none
        int RpcClient = 0;   // file-service client on the pipe, 0 = none
        int RpcPipePort = 0; // port the pipe was made for (0 = USB, n = COMn)
        int baudRate = 0;    // speed the pipe was made for
        QString devicePath;  // node the pipe was made for
        bool connected = false;
        bool pipeOpenFailed = false; // the pipe's open call failed: its node is worth a look
    };
    Handles handles() const;

private:
    int client() const;
    // One library request on the current client, as a result.
    DeviceResult result(const std::function<int(DeviceLink &link, int client)> &request) const;
    // Hello on `client` within `timeoutMs`; the library's result.
    int hello(int client, int timeoutMs);
    // reconnect() within the caller's attempt.
    bool sayHelloAgain(int timeoutMs);
    // Frees client and pipe; the lock is held.
    void freeHandlesLocked();

    DeviceLink *const m_link;
    mutable std::mutex m_mutex;
    Handles m_handles;
    // Mirrors m_handles.connected for readers that must not wait.
    std::atomic<bool> m_connected{false};
    bool m_attempt = false;
    bool m_released = false;
    FollowUp m_followUp = FollowUp::None;
    std::function<void(FollowUp)> m_followUpHandler;
};

} // namespace vexo
