#include "transfer/DoProcess.h"

#include "engine/DeviceAccess.h"
#include "engine/LanguageTable.h"
#include "engine/RunReport.h"
#include "engine/StopThread.h"
#include "engine/TransferExecutor.h"
#include "engine/common.h"
#include "platform/Prompter.h"
#include "transfer/uDialog.h"
#include "widgets/AnimationStrip.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace vexo
{

TFormDoProcess::TFormDoProcess(const TransferContext &context, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_context(context), m_mainWindow(parent ? parent->window() : nullptr), m_progress(context.language)
{
    WorkerState = -1;
    setObjectName(QStringLiteral("FormDoProcess"));
    setWindowTitle(m_context.language.window(QStringLiteral("CopyTitle")));
    setFixedSize(ClientSize);
    setModal(true);

    Animate = new AnimationStrip(this);
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->move((ClientSize.width() - AnimationStrip::FrameSize.width()) / 2, 6);

    labFilename = new QLabel(this);
    labFilename->setObjectName(QStringLiteral("labFilename"));
    labFilename->setTextFormat(Qt::PlainText);
    labFilename->setGeometry(12, 50, ClientSize.width() - 24, 16);

    // The file's line and bar, then the run's: the run's bar sits under the
    // file's so the two read as a pair.
    const int width = ClientSize.width() - 24;
    auto line = [this, width](const char *name, int y) {
        auto *label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setTextFormat(Qt::PlainText);
        label->setGeometry(12, y, width, 16);
        return label;
    };
    auto bar = [this, width](const char *name, int y) {
        auto *gauge = new QProgressBar(this);
        gauge->setObjectName(QLatin1String(name));
        gauge->setRange(0, 100);
        gauge->setValue(0);
        gauge->setTextVisible(false);
        gauge->setGeometry(12, y, width, 14);
        return gauge;
    };
    labFileCount = line("labFileCount", 68);
    ProgressBar = bar("ProgressBar", 86);
    labRun = line("labRun", 106);
    RunBar = bar("RunBar", 124);

    butCancel =
        new QPushButton(WithAccelerator(m_context.language.other(QStringLiteral("Cancel")), u'C'), this);
    butCancel->setObjectName(QStringLiteral("butCancel"));
    butCancel->setGeometry((ClientSize.width() - 80) / 2, 146, 80, 25);
    connect(butCancel, &QPushButton::clicked, this, &TFormDoProcess::butCancelClick);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(TickMs);
    connect(Timer1, &QTimer::timeout, this, &TFormDoProcess::Timer1Timer);

    // The main window must not release the link under a running worker.
    if (m_mainWindow)
        m_mainWindow->installEventFilter(this);
}

TFormDoProcess::~TFormDoProcess()
{
    if (!m_worker || !m_worker->isRunning())
        return;
    // Taken down from outside while the worker runs: its questions can no
    // longer be answered here. Cut it off (a blocking question then returns
    // unanswered, which ends the run), and wait for the library call to give
    // up the file.
    TProcessThread *worker = m_worker;
    StopThread(*worker, this, [this, worker] {
        worker->RequestStop();
        disconnect(worker, nullptr, this, nullptr);
    });
}

void TFormDoProcess::SetLists(const QStringList &sources, const QStringList &destinations)
{
    m_sources = sources;
    m_destinations = destinations;
    showRoute();
}

void TFormDoProcess::SetDirection(TransferDirection direction)
{
    m_direction = direction;
    showRoute();
}

void TFormDoProcess::showRoute()
{
    // A run that fills or empties the relay folder is one half of a copy
    // between the palmtop and the image: the image is its far end.
    const QString relay = TransferExecutor(m_context).relayFolder();
    const QStringList &local = m_direction == tdSend ? m_sources : m_destinations;
    const bool viaRelay =
        !relay.isEmpty() && !local.isEmpty() && local.first().startsWith(relay + QLatin1Char('/'));
    Animate->setRoute(
        {viaRelay ? AnimationStrip::LeftEnd::DiskImage : AnimationStrip::LeftEnd::Computer,
         m_direction == tdSend ? AnimationStrip::Flight::ToPalmtop : AnimationStrip::Flight::FromPalmtop});
}

void TFormDoProcess::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TFormDoProcess::FormShow()
{
    // Without a connection nothing starts; the window waits to be closed.
    if (!m_context.device.RpcConnected())
        return;
    auto *worker = new TProcessThread(m_context, m_sources, m_direction, m_destinations);
    worker->InitialReplaceState = m_replaceState;
    worker->PlannedSizes = m_sizes;
    m_worker = worker;
    connect(worker, &TProcessThread::labelChanged, this, &TFormDoProcess::threadLabel, Qt::QueuedConnection);
    connect(worker, &TProcessThread::gaugeChanged, this, &TFormDoProcess::threadGauge, Qt::QueuedConnection);
    connect(worker, &TProcessThread::replaceAsked, this, &TFormDoProcess::threadAskReplace,
            Qt::BlockingQueuedConnection);
    connect(worker, &TProcessThread::failuresReported, this, &TFormDoProcess::threadReportFailures,
            Qt::QueuedConnection);
    connect(worker, &TProcessThread::finishing, this, &TFormDoProcess::threadFinishing,
            Qt::BlockingQueuedConnection);
    connect(
        worker, &TProcessThread::linkLost, this, [this](const DeviceResult &result) { m_linkLost = result; },
        Qt::QueuedConnection);
    connect(
        worker, &TProcessThread::linkRestored, this,
        [this] {
            m_linkRestored = true;
            m_context.window.deviceReconnecting(false);
        },
        Qt::QueuedConnection);
    connect(
        worker, &TProcessThread::reconnecting, this, [this] { m_context.window.deviceReconnecting(true); },
        Qt::QueuedConnection);
    connect(worker, &QThread::finished, this, &TFormDoProcess::workerEnded, Qt::QueuedConnection);
    m_workerStarted = true;
    // Set here rather than by the worker alone, so that a close request that
    // comes before the thread has begun still stops it.
    WorkerState = 1;
    worker->start(QThread::LowPriority);
    m_runClock.start();
    Animate->start();
    Timer1->start();
}

bool TFormDoProcess::workerRunning() const
{
    return m_workerStarted && !m_workerEnded && m_worker && !m_worker->Finished.load();
}

void TFormDoProcess::Timer1Timer()
{
    // A Cancel or close request in progress closes the window itself.
    if (!m_workerStarted || m_pending != PendingClose::None)
        return;
    TProcessThread *worker = m_worker;
    if (!worker || worker->Finished.load()) {
        closeNow();
        return;
    }
    const int progress = worker->Progress.load();
    if (progress < 100)
        ProgressBar->setValue(qMax(0, progress));
    showCounts(m_runClock.elapsed(), worker->counts());
}

void TFormDoProcess::showCounts(qint64 atMs, const TransferCounts &counts)
{
    m_progress.update(atMs, counts);
    labFileCount->setText(m_progress.fileText());
    labRun->setText(m_progress.runText());
    RunBar->setValue(m_progress.runPercent());
}

void TFormDoProcess::butCancelClick()
{
    if (!workerRunning()) {
        closeNow();
        return;
    }
    if (m_pending == PendingClose::None)
        m_pending = PendingClose::AfterEnd;
    m_worker->RequestStop();
}

void TFormDoProcess::reject()
{
    requestClose();
}

void TFormDoProcess::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    // The window closes by closeNow() only, once the worker allows it.
    event->ignore();
    requestClose();
}

bool TFormDoProcess::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_mainWindow.data() && event->type() == QEvent::Close && workerRunning()) {
        // Logging out or a kill closes the main window: end the run as a
        // close request would, then let the main window close.
        event->ignore();
        m_closeMainAfter = true;
        requestClose();
        // An open replace question would hold the shut-down until answered;
        // the worker, already told to stop, takes its going as no answer.
        if (m_question)
            m_question->reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormDoProcess::requestClose()
{
    if (m_closing || m_pending != PendingClose::None)
        return;
    if (WorkerState.load() == 1 && workerRunning()) {
        labFilename->setText(m_context.language.window(QStringLiteral("Stop")));
        m_stopClock.start();
        m_pending = PendingClose::AfterPause;
        m_worker->RequestStop();
        return;
    }
    closeNow();
}

void TFormDoProcess::workerEnded()
{
    m_workerEnded = true;
    switch (m_pending) {
    case PendingClose::AfterEnd:
        closeNow();
        break;
    case PendingClose::AfterPause:
        QTimer::singleShot(qMax<qint64>(0, ClosePauseMs - m_stopClock.elapsed()), this,
                           &TFormDoProcess::closeNow);
        break;
    case PendingClose::None:
        break; // the next tick closes the window
    }
}

void TFormDoProcess::closeNow()
{
    if (m_closing)
        return;
    m_closing = true;
    Timer1->stop();
    Animate->stop();
    QDialog::done(QDialog::Accepted);
    if (m_closeMainAfter && m_mainWindow)
        QTimer::singleShot(0, m_mainWindow, &QWidget::close);
    else
        showFailures();
}

void TFormDoProcess::showFailures()
{
    // One box for the run: what the copy left out, then what failed; a
    // relay shows it at its own end.
    TransferWindow &window = m_context.window;
    if (window.runFailuresHeld())
        window.keepRunFailures(m_failureReport);
    else
        TellRunReport(m_context, window.takeRunNotes(), m_failureReport);
}

void TFormDoProcess::threadLabel(const QString &text)
{
    labFilename->setText(text);
}

void TFormDoProcess::threadGauge(int percent)
{
    ProgressBar->setValue(percent);
}

void TFormDoProcess::threadAskReplace(const QString &source, ReplaceReply *reply)
{
    TFormDialogReplace dialog(m_context, this);
    dialog.SetDirection(m_direction);
    m_question = &dialog;
    reply->answer = dialog.AskReplace(source, reply->destination, reply->facts);
    reply->destination = dialog.destination();
}

void TFormDoProcess::threadReportFailures(const QString &text)
{
    m_failureReport = text;
}

void TFormDoProcess::threadFinishing()
{
    labFilename->setText(m_context.language.window(QStringLiteral("Finish")));
}

} // namespace vexo
