#pragma once

#include <QMetaType>
#include <QString>

namespace vexo
{

class LanguageTable;

// The outcome of one request to the palmtop, as everything above the
// session sees it: ok, or the kind of failure and the words for it. The
// link library's numbers stay below the session.
class DeviceResult
{
public:
    enum class Kind {
        Ok,
        NotConnected,   // no session: never connected, closed, or the pipe is gone
        TimedOut,       // the palmtop stayed silent for the response time-out
        NotFound,       // no such file on the palmtop
        BadName,        // a name the palmtop or the PC refuses; nothing was sent
        Exists,         // the destination exists and was not to be replaced
        Stopped,        // the stop flag ended the transfer
        TransferFailed, // data check failed or the link broke during the transfer
        LocalIo,        // a PC file could not be read or written
        DeviceIo,       // the palmtop could not read or store the file
        NoSpace,        // the palmtop has no room for the file
        OtherDevice,    // after a reconnect another palmtop answered; nothing was written to it
        Unsupported,    // the palmtop's service predates the request
        Other,          // anything else; code() keeps the number for the text
    };

    // Ok.
    DeviceResult() = default;
    explicit DeviceResult(Kind kind, int code = 0) : m_kind(kind), m_code(code) {}
    // A result of the file-client library: 0 is ok.
    static DeviceResult FromLibrary(int code);
    // A transfer's result: 1 (done) is ok; any other positive number is not.
    static DeviceResult FromTransfer(int code);

    Kind kind() const { return m_kind; }
    bool ok() const { return m_kind == Kind::Ok; }
    // The link is gone: every further request would only wait out the
    // time-out again.
    bool linkLost() const { return m_kind == Kind::NotConnected || m_kind == Kind::TimedOut; }
    // Why a file did not arrive, in the words of section "Error" of the
    // language table; empty when ok.
    QString text(const LanguageTable &language) const;
    // The library's number of an Other failure (shown in its text), else 0.
    int code() const { return m_code; }

    bool operator==(const DeviceResult &other) const
    {
        return m_kind == other.m_kind && m_code == other.m_code;
    }
    bool operator!=(const DeviceResult &other) const { return !(*this == other); }

private:
    Kind m_kind = Kind::Ok;
    int m_code = 0;
};

} // namespace vexo

Q_DECLARE_METATYPE(vexo::DeviceResult)
