#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferDirection.h"
#include "engine/TransferProgress.h"
#include "transfer/TProcessThread.h"
#include "transfer/WorkerState.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QSize>
#include <QStringList>

#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vexo
{

class AnimationStrip;

// The modal progress window of a device run: animation (in the direction of
// the copy), current file name, file i of n with its bytes and gauge, the
// run's bytes, speed and time left with its own bar, and Cancel. Showing it
// starts the worker (when the device is connected); the window closes only
// after the worker has ended, so exec() returning means the run is over.
//
// - Timer1 (1000 ms) reads the worker's counters into the texts and bars and
//   closes the window once the worker has finished.
// - Cancel stops the worker and closes the window when it has ended.
// - A close request (close box, Escape) while the worker runs shows
//   "Stop...", stops it, and closes once it has ended, but not before
//   ClosePauseMs after the request, so that "Stop..." can be read.
// - A close of the main window while the worker runs is taken as a close
//   request here; the main window closes once this window has.
// A stop is no failure. Files that failed are listed once the window has
// closed, in a box that nothing waits on; none while the main window closes,
// and none of its own in a relay that holds them for its end.
// The window keeps serving the worker's questions while it waits for the
// worker to end.
class TFormDoProcess : public QDialog
{
    Q_OBJECT
public:
    static constexpr QSize ClientSize{420, 178};
    static constexpr int TickMs = 1000;
    static constexpr int ClosePauseMs = 1000;

    // `parent`'s window is the main window whose close is held back.
    TFormDoProcess(const TransferContext &context, QWidget *parent);
    // A worker still running (the window was taken down from outside) is
    // stopped, cut off from the window and awaited.
    ~TFormDoProcess() override;

    // Called before the window is shown; the lists are copied.
    void SetLists(const QStringList &sources, const QStringList &destinations);
    void SetDirection(TransferDirection direction);
    // A receive's sizes as the device pane listed them (see TProcessThread::PlannedSizes).
    void SetSizes(const QList<qint64> &sizes) { m_sizes = sizes; }
    // The replace answer the worker starts with; rsAsk unless set.
    void SetReplaceState(ReplaceState state) { m_replaceState = state; }

    // The running worker, null before it starts and after it has freed itself.
    TProcessThread *worker() const { return m_worker; }
    // True once a worker has been started for this window.
    bool workerStarted() const { return m_workerStarted; }
    // True when the person stopped the run (Cancel, close) before its end.
    bool runStopped() const { return m_pending != PendingClose::None; }
    // The result that showed the link lost during the run; ok when the link held.
    DeviceResult linkLostResult() const { return m_linkLost; }
    // True when a lost link came back during the run.
    bool linkRestored() const { return m_linkRestored; }
    // The list of failed files the run reported; empty when none failed.
    QString failureReport() const { return m_failureReport; }
    // Shows the counts on the texts and bars, as a tick does.
    void showCounts(qint64 atMs, const TransferCounts &counts);

    AnimationStrip *Animate = nullptr;
    QLabel *labFilename = nullptr;
    QProgressBar *ProgressBar = nullptr;
    QLabel *labFileCount = nullptr;
    QLabel *labRun = nullptr;
    QProgressBar *RunBar = nullptr;
    QPushButton *butCancel = nullptr;
    QTimer *Timer1 = nullptr;

public slots:
    void butCancelClick();
    void Timer1Timer();
    // Escape and the close box come here as well.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // A close of the main window while the worker runs is held back until
    // the run has been stopped and this window has closed.
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    // The worker's requests, run on the window thread.
    void threadLabel(const QString &text);
    void threadGauge(int percent);
    void threadAskReplace(const QString &source, vexo::ReplaceReply *reply);
    void threadReportFailures(const QString &text);
    void threadFinishing();
    void workerEnded();

private:
    enum class PendingClose { None, AfterEnd, AfterPause };

    void FormShow();
    // The animation's ends and way, from the direction and the lists.
    void showRoute();
    void showFailures();
    // A close request: at once when no worker runs, else stop it first.
    void requestClose();
    void closeNow();
    bool workerRunning() const;

    const TransferContext m_context;
    const QPointer<QWidget> m_mainWindow;
    QStringList m_sources;
    QStringList m_destinations;
    TransferDirection m_direction = tdSend;
    ReplaceState m_replaceState = rsAsk;
    QList<qint64> m_sizes;
    TransferProgress m_progress;
    QElapsedTimer m_runClock;
    QElapsedTimer m_stopClock;
    QString m_failureReport;
    QPointer<TProcessThread> m_worker;
    // The replace question while it is open.
    QPointer<QDialog> m_question;
    bool m_workerStarted = false;
    bool m_workerEnded = false;
    DeviceResult m_linkLost;
    bool m_linkRestored = false;
    bool m_shown = false;
    bool m_closing = false;
    bool m_closeMainAfter = false;
    PendingClose m_pending = PendingClose::None;
};

} // namespace vexo
