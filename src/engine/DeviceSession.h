#pragma once

#include "engine/FileFacts.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

namespace vexo
{

class DeviceLink;

// The link to the palmtop: the pipe, the file-service client on it, the port
// the pipe was made for, whether the client is connected and whether a
// connection attempt runs. Nothing else opens, closes, lists or transfers.
//
// Any thread may call. The handles and the flags change together under one
// lock, so a reader never sees a pipe of one port with the client of
// another. From beginAttempt() to endAttempt() the attempt's thread owns the
// handles: a disconnect, a change of link settings or a refresh asked for
// meanwhile is recorded (admit) and handed back by endAttempt(), never run
// under the attempt. Without a link service nothing is ever attempted.
class DeviceSession
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
    // One consistent view of the link.
    struct Handles {
        int pipe = 0;   // open serial or USB pipe, 0 = none
        int client = 0; // file-service client on the pipe, 0 = none
        int port = 0;   // port the pipe was made for (0 = USB, n = COMn)
        bool connected = false;
        bool pipeOpenFailed = false; // the pipe's open call failed: its node is worth a look
    };

    explicit DeviceSession(DeviceLink *link);
    ~DeviceSession();
    DeviceSession(const DeviceSession &) = delete;
    DeviceSession &operator=(const DeviceSession &) = delete;

    bool hasLink() const { return m_link != nullptr; }
    DeviceLink *link() const { return m_link; }
    Handles handles() const;
    bool isConnected() const { return m_connected.load(); }
    bool attemptRunning() const;

    // Starts an attempt; false while one runs, after release(), or without a link.
    bool beginAttempt();
    // The open sequence (attempt thread): a pipe and client of another port
    // go first; pipe and client are made only when missing. True when
    // connected.
    bool open(int port, int baudRate, const QString &devicePath);
    // Ends the attempt and hands back what was asked for meanwhile.
    FollowUp endAttempt();
    // A request (Refresh, Reconnect or Disconnect) against the running attempt.
    Admission admit(FollowUp request);

    // Closes the connection; pipe and client stay for the next attempt.
    // Returns the library's result (0 = closed). Not during an attempt: admit first.
    int close();
    // A call found the link gone: disconnected, handles kept (closing would
    // wait for a silent device once more).
    void markLost();
    // At exit: closes and frees client and pipe, and refuses further attempts.
    // An attempt still running keeps them (they go with the process).
    void release();

    // The device's requests; any thread. Without a client they fail like a
    // closed link (the library's own "not connected").
    // Runs a request of several library calls (a listing) on the current
    // client; without a link service it gives "not connected".
    int call(const std::function<int(DeviceLink &link, int client)> &request);
    int deleteFile(const QString &name);
    int rename(const QString &oldName, const QString &newName);
    bool fileExists(const QString &name);
    FileFacts fileFacts(const QString &name);
    int checksum(const QString &name, quint32 *crc);
    int freeSpace(qint64 *freeBytes, qint64 *totalBytes);
    // progress and stop are shared with the library (see DeviceLink).
    int send(const QString &localPath, const QString &deviceName, int *progress, int *stop, int overwrite);
    int receive(const QString &deviceName, const QString &localPath, int *progress, int *stop, int overwrite);

    // True for a result that means the link is gone: no session (closed,
    // pipe gone) or the device stayed silent for the time-out.
    static bool IsLinkLost(int result);
    // The response time-out every client gets, in ms.
    static constexpr int RespondTimeoutMs = 3000;

private:
    int client() const;
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
};

} // namespace vexo
