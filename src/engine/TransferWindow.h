#pragma once

#include "engine/DeviceResult.h"
#include "engine/TransferDirection.h"
#include "engine/TransferPlan.h"

#include <QString>
#include <QStringList>

#include <utility>

namespace vexo
{

// What a transfer needs of the window it runs in: the progress window of a
// device run, the status line, the pointer and the idle flag while a copy
// holds the window thread, and the panes. Window thread only.
class TransferWindow
{
public:
    // Busy while a copy holds the window thread; Normal over a question or a
    // window shown meanwhile.
    enum class Pointer { Busy, Normal };

    virtual ~TransferWindow() = default;

    // One device run behind the modal progress window; returns once that
    // window has closed.
    virtual void runDevice(const QStringList &sources, const QStringList &destinations,
                           TransferDirection direction) = 0;
    // Status panel 1, painted at once: the window thread is busy next.
    virtual void showStatus(const QString &text) = 0;
    // Why a command did nothing: on the status line and on the pane's caption.
    virtual void showReason(const QString &text, Pane pane) = 0;
    // Pointers over the whole program; each push is popped, in reverse order.
    virtual void pushPointer(Pointer pointer) = 0;
    virtual void popPointer() = 0;
    // The window's OpIdle flag.
    virtual bool idle() const = 0;
    virtual void setIdle(bool idle) = 0;
    // The local pane's folder text, and its selected paths in list order.
    virtual QString localFolder() const = 0;
    virtual QStringList localSelection() const = 0;
    // The sizes the device pane lists for these device names, -1 where it
    // lists none: a receive's run knows its total before any file is in.
    virtual QList<qint64> deviceSizes(const QStringList &names) const
    {
        return QList<qint64>(names.size(), -1);
    }
    // Reads the pane's files again.
    virtual void relist(Pane pane) = 0;
    // A run found the device link lost with this result: the device pane
    // shows it disconnected.
    virtual void deviceLinkLost(const DeviceResult &result) = 0;
    // A run waits for the lost device link to come back (on), or it came
    // back (off): the device pane's caption says so meanwhile.
    virtual void deviceReconnecting(bool on) { (void)on; }

    // What the next run tells at its end besides its failures (the folders a
    // copy left out): the progress window of a device run takes it into its
    // one box at the end; what no progress window took is the caller's to show.
    void setRunNotes(const QString &text) { m_runNotes = text; }
    QString takeRunNotes() { return std::exchange(m_runNotes, QString()); }
    // While held, a run leaves its failures here, and the notes untaken,
    // rather than showing its box: the first stage of a relay, whose second
    // stage ends the copy with one box for both.
    void holdRunFailures(bool hold) { m_holdFailures = hold; }
    bool runFailuresHeld() const { return m_holdFailures; }
    void keepRunFailures(const QString &text) { m_keptFailures = text; }
    QString takeRunFailures() { return std::exchange(m_keptFailures, QString()); }

private:
    QString m_runNotes;
    bool m_holdFailures = false;
    QString m_keptFailures;
};

} // namespace vexo
