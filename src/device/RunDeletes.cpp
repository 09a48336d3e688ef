#include "device/RunDeletes.h"

#include "engine/DeviceSession.h"
#include "engine/LanguageTable.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <memory>

namespace vexo
{

namespace
{
// A delete of a few files ends before this, and then shows no window.
constexpr int ShowAfterMs = 400;
} // namespace

QVector<DeviceResult> RunDeletes(DeviceSession &session, const QStringList &names,
                                 const LanguageTable &language, QWidget *parent)
{
    QVector<DeviceResult> results(names.size(), DeviceResult(DeviceResult::Kind::Stopped));
    int stop = 0;
    std::unique_ptr<QThread> worker(QThread::create([&] { results = session.deleteFiles(names, &stop); }));
    if (!worker)
        return results;

    QProgressDialog progress(parent);
    progress.setWindowTitle(language.message(QStringLiteral("PromptTitle")));
    progress.setLabelText(language.window(QStringLiteral("Deleting")).arg(names.size()));
    progress.setCancelButtonText(language.other(QStringLiteral("Cancel")));
    progress.setWindowModality(Qt::WindowModal);
    progress.setRange(0, 0); // one request stream: no count to show until it ends
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // Shown by the timer below only, never by the dialog's own.
    progress.setMinimumDuration(24 * 3600 * 1000);
    const auto stopAsked = [&] {
        __atomic_store_n(&stop, 1, __ATOMIC_RELAXED);
        progress.setLabelText(language.window(QStringLiteral("Stop")));
        // Cancel and Escape hide the dialog; it stays up until the worker has ended.
        progress.show();
    };
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, stopAsked);
    QObject::connect(&progress, &QDialog::rejected, &progress, stopAsked);
    QTimer showLater;
    showLater.setSingleShot(true);
    QObject::connect(&showLater, &QTimer::timeout, &progress, [&] {
        if (!__atomic_load_n(&stop, __ATOMIC_RELAXED))
            progress.show();
    });

    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    showLater.start(ShowAfterMs);
    worker->start();
    loop.exec();
    worker->wait();
    return results;
}

} // namespace vexo
