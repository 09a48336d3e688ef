#pragma once

#include "engine/DeviceResult.h"
#include "engine/LanguageTable.h"
#include "engine/ReplaceFacts.h"
#include "engine/RunCounters.h"
#include "engine/TransferContext.h"
#include "engine/TransferDirection.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

namespace vexo
{

// What the worker remembers of the replace answers for the rest of a run.
enum ReplaceState {
    rsAsk = 0,        // test each destination, ask on a clash
    rsAllYes = 1,     // no more questions; every pair overwrites
    rsAllNo = 2,      // no more questions; every pair keeps an existing destination
    rsCancelled = -1, // no further pair is touched
};

// The answer to one replace question, filled on the window thread.
struct ReplaceReply {
    QString destination; // the pair's destination; a new one after a rename
    int answer = 0;      // a ReplaceAnswer
    ReplaceFacts facts;  // both files, gathered by the worker before it asks
};

// Device names hold at most this many CP936 bytes.
constexpr int MaxDeviceNameBytes = 16;

// A file that did not arrive, and why.
struct TransferFailure {
    QString file;
    QString reason;
};

// The one box at the end of a run: the first MaxListedFailures files with
// their reasons, then how many more there are.
constexpr int MaxListedFailures = 10;
QString TransferFailureSummary(const LanguageTable &language, const QList<TransferFailure> &failures);

// Whether a pair's destination exists as a file where a run in `direction`
// puts it: a local path when receiving, a device name when sending.
bool TransferDestinationExists(const DeviceAccess &device, TransferDirection direction,
                               const QString &destination);

// Size and time of a pair's existing destination, on whichever side it lives
// (one device lookup when sending).
FileFacts TransferDestinationFacts(const DeviceAccess &device, TransferDirection direction,
                                   const QString &destination);
// The same for both files of a pair, the destination and the source.
ReplaceFacts TransferReplaceFacts(const DeviceAccess &device, TransferDirection direction,
                                  const QString &source, const QString &destination);

// One device run on its own thread, one pair after the other: long device
// names are refused (listed with the failures at the end), clashes go to the replace dialog (whose
// remembered answers hold for the rest of the run), then the file-client
// library copies the file. A file that fails is named in the label and, at
// the end, in one summary of the failed files and their reasons; a file the
// person stopped is no failure.
//
// The worker never touches a widget: it speaks to the window through the
// signals below only. It frees itself once run() has returned.
class TProcessThread : public QThread
{
    Q_OBJECT
public:
    TProcessThread(const TransferContext &context, const QStringList &sources, TransferDirection direction,
                   const QStringList &destinations);
    ~TProcessThread() override;

    // Percentage (0..100) of the current file, kept by the library; any thread reads it.
    std::atomic<int> Progress{0};
    // 1 abandons the current file and ends the run; set through RequestStop.
    std::atomic<int> StopFlag{0};
    // Set once the run has ended, after the last library call has returned
    // and after "Finish..." is on screen.
    std::atomic<bool> Finished{false};

    // The run's byte counts; the window polls them on its tick, so the
    // worker never waits for the window to show them.
    RunCounters Counters;
    // Counters.counts() with this run's percentage.
    TransferCounts counts() const { return Counters.counts(Progress.load()); }

    // The replace answer the run starts with (rsAsk unless set before start):
    // a synchronisation has already decided which files replace others.
    ReplaceState InitialReplaceState = rsAsk;
    // A receive's file sizes as the device pane listed them, in the order of
    // the sources, -1 where not listed; set before start. The run's total and
    // time left come from them before any file is in.
    QList<qint64> PlannedSizes;

    // Asks the library to abandon the current file and the worker to end.
    // Any thread.
    void RequestStop() { StopFlag.store(1); }

signals:
    // Qt::QueuedConnection: the label text.
    void labelChanged(const QString &text);
    // Qt::QueuedConnection: the gauge (0..100).
    void gaugeChanged(int percent);
    // Qt::BlockingQueuedConnection: the replace dialog for (source, reply->destination);
    // the window fills *reply.
    void replaceAsked(const QString &source, vexo::ReplaceReply *reply);
    // Qt::QueuedConnection: the summary of the files that failed, sent once
    // before finishing(); the worker does not wait for anyone to read it.
    void failuresReported(const QString &text);
    // Qt::BlockingQueuedConnection: "Finish..." is shown before Finished is set.
    void finishing();
    // Qt::QueuedConnection: a transfer found the link lost (see
    // DeviceResult::linkLost) and it did not come back; the run ends there.
    void linkLost(const vexo::DeviceResult &result);
    // Qt::QueuedConnection: a lost link came back during the run; the device
    // may have changed meanwhile.
    void linkRestored();
    // Qt::QueuedConnection: the worker waits for a lost link to come back;
    // a link that does not is reported by linkLost.
    void reconnecting();

protected:
    // The run (the Execute step).
    void run() override;

private:
    DeviceResult transfer(const QString &source, const QString &destination, bool overwrite);
    // transferWithCounters(), tried again on the same pair each time a lost
    // link comes back within the reconnect time (see LinkReconnector). Stopped while
    // waiting, the pair ends as stopped and the link is reported lost.
    DeviceResult transferReconnecting(const QString &source, const QString &destination, bool overwrite);
    // transfer(), with the file's byte counters handed to the library.
    DeviceResult transferWithCounters(const QString &source, const QString &destination, bool overwrite);
    // The run's files' sizes in order, -1 where not known: a send's from
    // the PC; a receive's come with the data and listDeviceSizes().
    QList<qint64> plannedSizes(int pairs) const;
    // Takes the pairs whose device name the palmtop cannot hold out of the
    // run, so that "File i of n" and the total count only what is sent;
    // returns them as failures for the end of the list.
    QList<TransferFailure> refuseLongNames();
    void listDeviceSizes();
    // The identity of the palmtop on the link; empty from one that has none.
    QString deviceIdentity() const;
    // transferReconnecting() of pair `index`, counted in Counters.
    DeviceResult countedTransfer(int index, const QString &source, const QString &destination,
                                 bool overwrite);
    // A stop the person asked for ended the file: no failure.
    bool stoppedByRequest(const DeviceResult &result) const;
    void reportFailures(const QList<TransferFailure> &failures);

    // Any thread may ask it; see DeviceAccess.
    DeviceAccess &m_device;
    // The texts at the start: the worker never reads the window's table.
    const LanguageTable m_language;
    // Less the pairs refuseLongNames() took out.
    QStringList m_sources;
    QStringList m_destinations;
    const TransferDirection m_direction;
    // How long a lost link is waited for; 0 ends the run at once.
    const int m_reconnectSeconds;
    const QString m_port; // "COM1" or "USB", for the texts
    // The palmtop the run began with: a reconnect that meets another one ends it.
    QString m_identity;
    bool m_sizesListed = false;
};

} // namespace vexo
