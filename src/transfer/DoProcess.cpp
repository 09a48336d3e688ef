#include "transfer/DoProcess.h"

#include "engine/DeviceAccess.h"
#include "engine/LanguageTable.h"
#include "engine/StopThread.h"
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

std::atomic<int> WorkerState{0};

TFormDoProcess::TFormDoProcess(const TransferContext &context, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_context(context), m_mainWindow(parent ? parent->window() : nullptr)
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

    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setGeometry(12, 70, ClientSize.width() - 24, 16);

    butCancel =
        new QPushButton(WithAccelerator(m_context.language.other(QStringLiteral("Cancel")), u'C'), this);
    butCancel->setObjectName(QStringLiteral("butCancel"));
    butCancel->setGeometry((ClientSize.width() - 80) / 2, 93, 80, 25);
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
}

void TFormDoProcess::SetDirection(TransferDirection direction)
{
    m_direction = direction;
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
    if (!m_context.device.isConnected())
        return;
    auto *worker = new TProcessThread(m_context, m_sources, m_direction, m_destinations);
    worker->InitialReplaceState = m_replaceState;
    m_worker = worker;
    connect(worker, &TProcessThread::labelChanged, this, &TFormDoProcess::threadLabel, Qt::QueuedConnection);
    connect(worker, &TProcessThread::gaugeChanged, this, &TFormDoProcess::threadGauge, Qt::QueuedConnection);
    connect(worker, &TProcessThread::replaceAsked, this, &TFormDoProcess::threadAskReplace,
            Qt::BlockingQueuedConnection);
    connect(worker, &TProcessThread::failuresReported, this, &TFormDoProcess::threadReportFailures,
            Qt::BlockingQueuedConnection);
    connect(worker, &TProcessThread::finishing, this, &TFormDoProcess::threadFinishing,
            Qt::BlockingQueuedConnection);
    connect(
        worker, &TProcessThread::linkLost, this, [this](int result) { m_linkLost = result; },
        Qt::QueuedConnection);
    connect(worker, &QThread::finished, this, &TFormDoProcess::workerEnded, Qt::QueuedConnection);
    m_workerStarted = true;
    // Set here rather than by the worker alone, so that a close request that
    // comes before the thread has begun still stops it.
    WorkerState = 1;
    worker->start(QThread::LowPriority);
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
        QTimer::singleShot(ClosePauseMs, this, &TFormDoProcess::closeNow);
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
    reply->answer = dialog.AskReplace(source, reply->destination, reply->facts);
    reply->destination = dialog.destination();
}

void TFormDoProcess::threadReportFailures(const QString &text)
{
    if (Prompter *prompter = m_context.prompter)
        prompter->ask(text, m_context.language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok,
                      PromptIcon::Error);
}

void TFormDoProcess::threadFinishing()
{
    labFilename->setText(m_context.language.window(QStringLiteral("Finish")));
}

} // namespace vexo
