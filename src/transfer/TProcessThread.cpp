#include "transfer/TProcessThread.h"

#include "engine/DeviceAccess.h"
#include "engine/DeviceName.h"
#include "engine/LinkReconnector.h"
#include "engine/SyncSources.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "transfer/ReplaceAnswer.h"
#include "transfer/WorkerState.h"

#include <QFileInfo>
#include <QHash>
#include <QList>

namespace vexo
{

// The library keeps the progress and reads the stop flag through plain int
// pointers, with atomic accesses of its own. We keep both as std::atomic<int>
// so that every access on our side is atomic too, and hand the library the
// address of the atomic's one int; that is only sound while the atomic is a
// lock-free wrapper with exactly the size and alignment of an int.
static_assert(std::atomic<int>::is_always_lock_free, "the library shares the integers without locks");
static_assert(sizeof(std::atomic<int>) == sizeof(int), "the library sees the atomic as one int");
static_assert(alignof(std::atomic<int>) == alignof(int), "the library sees the atomic as one int");

namespace
{

int *sharedInt(std::atomic<int> &value)
{
    return reinterpret_cast<int *>(&value);
}

QString failureLine(const LanguageTable &language, const TransferFailure &f)
{
    return Filled(language.message(QStringLiteral("FailureLine")), {f.file, f.reason});
}

} // namespace

QString TransferFailureSummary(const LanguageTable &language, const QList<TransferFailure> &failures)
{
    QStringList lines;
    for (const TransferFailure &f : failures.mid(0, MaxListedFailures))
        lines << failureLine(language, f);
    // A lost link fails every file after it: a box of hundreds of lines
    // would not fit on the screen and says nothing more.
    if (failures.size() > MaxListedFailures)
        lines << Filled(language.message(QStringLiteral("MoreFailures")),
                        {QString::number(failures.size() - MaxListedFailures)});
    return language.message(QStringLiteral("NotCopied")) + QStringLiteral("\n\n") +
           lines.join(QLatin1Char('\n'));
}

bool TransferDestinationExists(const DeviceAccess &device, TransferDirection direction,
                               const QString &destination)
{
    // Only a file counts: a folder of that name is no file to replace.
    if (direction == tdReceive)
        return QFileInfo(destination).isFile();
    return device.fileExists(BareDeviceName(destination));
}

FileFacts TransferDestinationFacts(const DeviceAccess &device, TransferDirection direction,
                                   const QString &destination)
{
    if (direction == tdReceive)
        return LocalFileFacts(destination);
    return device.fileFacts(BareDeviceName(destination));
}

ReplaceFacts TransferReplaceFacts(const DeviceAccess &device, TransferDirection direction,
                                  const QString &source, const QString &destination)
{
    const FileFacts incoming =
        direction == tdReceive ? device.fileFacts(BareDeviceName(source)) : LocalFileFacts(source);
    return {TransferDestinationFacts(device, direction, destination), incoming};
}

TProcessThread::TProcessThread(const TransferContext &context, const QStringList &sources,
                               TransferDirection direction, const QStringList &destinations)
    : m_device(context.device), m_language(context.language), m_sources(sources),
      m_destinations(destinations), m_direction(direction),
      m_reconnectSeconds(context.settings.ReconnectSeconds),
      m_port(context.settings.Comport == 0 ? QStringLiteral("USB")
                                           : QStringLiteral("COM%1").arg(context.settings.Comport))
{
    qRegisterMetaType<vexo::DeviceResult>();
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

TProcessThread::~TProcessThread()
{
    wait();
}

DeviceResult TProcessThread::transfer(const QString &source, const QString &destination, bool overwrite)
{
    if (m_direction == tdSend)
        return m_device.send(source, BareDeviceName(destination), sharedInt(Progress), sharedInt(StopFlag),
                             overwrite);
    // A received name becomes a local file: it must not leave its folder.
    if (!IsSafeBareName(PathFileName(destination)))
        return DeviceResult(DeviceResult::Kind::BadName);
    return m_device.receive(BareDeviceName(source), destination, sharedInt(Progress), sharedInt(StopFlag),
                            overwrite);
}

DeviceResult TProcessThread::transferReconnecting(const QString &source, const QString &destination,
                                                  bool overwrite)
{
    // A broken transfer may be the link or the file's data: a file that
    // breaks each time is not tried for ever.
    constexpr int MaxBrokenTries = 3;
    int broken = 0;
    for (;;) {
        const DeviceResult result = transferWithCounters(source, destination, overwrite);
        const bool lost = result.linkLost();
        // The library reports a session the device dropped mid-file (it
        // restarted) as a broken transfer.
        const bool breaks = result.kind() == DeviceResult::Kind::TransferFailed && ++broken < MaxBrokenTries;
        // A file the person stopped may end in any of these: it is not retried.
        if (m_reconnectSeconds <= 0 || StopFlag.load() != 0 || !(lost || breaks))
            return result;
        const DeviceResult lostResult = lost ? result : DeviceResult(DeviceResult::Kind::NotConnected);
        emit reconnecting();
        LinkReconnector reconnector(m_device, m_reconnectSeconds, StopFlag);
        const auto outcome = reconnector.run([this](int secondsLeft) {
            emit labelChanged(
                Filled(m_language.window(QStringLiteral("Reconnecting")), {QString::number(secondsLeft)}));
        });
        switch (outcome) {
        case LinkReconnector::Outcome::Reconnected:
            // The rest of the run was meant for the palmtop it began with.
            if (!m_identity.isEmpty() && deviceIdentity() != m_identity)
                return DeviceResult(DeviceResult::Kind::OtherDevice);
            emit linkRestored();
            emit labelChanged(PathFileName(source));
            Progress.store(0);
            break;
        case LinkReconnector::Outcome::Stopped:
            emit linkLost(lostResult);
            return DeviceResult(DeviceResult::Kind::Stopped);
        case LinkReconnector::Outcome::GaveUp:
            return lostResult;
        }
    }
}

QList<qint64> TProcessThread::plannedSizes(int pairs) const
{
    QList<qint64> sizes(pairs, -1);
    for (int i = 0; i < pairs; ++i) {
        if (m_direction == tdReceive) {
            sizes[i] = PlannedSizes.value(i, -1);
            continue;
        }
        const QFileInfo info(m_sources.at(i));
        if (info.isFile())
            sizes[i] = info.size();
    }
    return sizes;
}

QList<TransferFailure> TProcessThread::refuseLongNames()
{
    QList<TransferFailure> refused;
    if (m_direction != tdSend)
        return refused;
    // A name with no CP936 form passes here and is refused by the library, by name.
    const QString reason =
        Filled(m_language.error(QStringLiteral("NameTooLong")), {QString::number(MaxDeviceNameBytes)});
    for (int i = qMin(m_sources.size(), m_destinations.size()) - 1; i >= 0; --i) {
        const QString &destination = m_destinations.at(i);
        if (CodePage::cp936Length(BareDeviceName(destination)) <= MaxDeviceNameBytes)
            continue;
        refused.prepend({PathFileName(destination), reason});
        m_sources.removeAt(i);
        m_destinations.removeAt(i);
    }
    return refused;
}

QString TProcessThread::deviceIdentity() const
{
    return m_device.identity();
}

void TProcessThread::listDeviceSizes()
{
    // Asked once a file has come in, so a dead link is never waited for
    // twice; the client keeps the pane's last listing, so an unchanged
    // folder costs a short answer.
    std::vector<SyncFile> files;
    if (!ListDeviceSyncFiles(m_device, files))
        return;
    QHash<QString, qint64> listed;
    for (const SyncFile &f : files)
        listed.insert(QString::fromStdString(f.name), qint64(f.size));
    QList<qint64> sizes;
    for (const QString &source : m_sources)
        sizes << listed.value(BareDeviceName(source), -1);
    Counters.learnSizes(sizes);
}

DeviceResult TProcessThread::countedTransfer(int index, const QString &source, const QString &destination,
                                             bool overwrite)
{
    Counters.beginFile(index);
    const DeviceResult result = transferReconnecting(source, destination, overwrite);
    Counters.endFile(result.ok(), Progress.load());
    // A received file's size comes with its data; the others' from a listing.
    if (result.ok() && m_direction == tdReceive && !m_sizesListed && index + 1 < m_sources.size()) {
        m_sizesListed = true;
        listDeviceSizes();
    }
    return result;
}

DeviceResult TProcessThread::transferWithCounters(const QString &source, const QString &destination,
                                                  bool overwrite)
{
    // Handed to each try's client: a reconnection may have made a new one.
    const bool counting = m_device.countBytes(Counters.libraryDone(), Counters.libraryTotal());
    Counters.setLibraryCounts(counting);
    const DeviceResult result = transfer(source, destination, overwrite);
    if (counting)
        m_device.countBytes(nullptr, nullptr);
    return result;
}

bool TProcessThread::stoppedByRequest(const DeviceResult &result) const
{
    return result.kind() == DeviceResult::Kind::Stopped && StopFlag.load() != 0;
}

void TProcessThread::reportFailures(const QList<TransferFailure> &failures)
{
    if (!failures.isEmpty())
        emit failuresReported(TransferFailureSummary(m_language, failures));
}

void TProcessThread::run()
{
    WorkerState = 1;
    ReplaceState replaceState = InitialReplaceState;
    QList<TransferFailure> failures;
    const QList<TransferFailure> refused = refuseLongNames();
    const int pairs = qMin(m_sources.size(), m_destinations.size());
    Counters.start(plannedSizes(pairs));
    m_identity = deviceIdentity();
    int copied = 0;
    for (int i = 0; i < pairs && replaceState != rsCancelled; ++i) {
        if (StopFlag.load() != 0)
            break;
        const QString &source = m_sources.at(i);
        QString destination = m_destinations.at(i);

        if (replaceState == rsAsk && TransferDestinationExists(m_device, m_direction, destination)) {
            ReplaceReply reply;
            reply.destination = destination;
            // Unanswered (the window went away) counts as Cancel.
            reply.answer = raCancel;
            reply.facts = TransferReplaceFacts(m_device, m_direction, source, destination);
            emit replaceAsked(source, &reply);
            destination = reply.destination;
            bool skip = false;
            switch (reply.answer) {
            case raYes:
            case raRename:
                break;
            case raYesAll:
                replaceState = rsAllYes;
                break;
            case raNoAll:
                replaceState = rsAllNo;
                break;
            case raCancel:
                replaceState = rsCancelled;
                skip = true;
                break;
            default: // raNo, raNone
                skip = true;
                break;
            }
            if (skip) {
                Counters.skipFile(i);
                continue;
            }
        }

        Progress.store(0);
        const bool overwrite = replaceState != rsAllNo;
        const QString name = PathFileName(source);
        emit labelChanged(name);
        const DeviceResult result = countedTransfer(i, source, destination, overwrite);
        // Without overwrite an existing destination is kept on purpose.
        if (result.ok() || (result.kind() == DeviceResult::Kind::Exists && !overwrite)) {
            copied += result.ok();
            emit gaugeChanged(100);
        } else if (stoppedByRequest(result)) {
            // The person asked for it: nothing to report.
            break;
        } else if (result.kind() == DeviceResult::Kind::OtherDevice) {
            // Nothing more goes to a terminal the run was not meant for.
            const QString text = Filled(m_language.message(QStringLiteral("OtherPalmtop")),
                                        {m_port, QString::number(copied), QString::number(pairs - copied)});
            failures.append({name, text});
            const QString reason = result.text(m_language);
            for (int rest = i + 1; rest < pairs; ++rest)
                failures.append({PathFileName(m_sources.at(rest)), reason});
            emit labelChanged(text);
            emit linkLost(result);
            break;
        } else {
            const TransferFailure failure{name, result.text(m_language)};
            failures.append(failure);
            // Not shown as done: the gauge keeps how far the file got.
            emit gaugeChanged(qBound(0, Progress.load(), 99));
            emit labelChanged(failureLine(m_language, failure));
            // Each further file would only wait out the time-out again.
            if (result.linkLost()) {
                for (int rest = i + 1; rest < pairs; ++rest)
                    failures.append({PathFileName(m_sources.at(rest)), failure.reason});
                emit linkLost(result);
                break;
            }
        }
    }

    // One report for the run, not a box per file.
    reportFailures(failures + refused);
    emit finishing();
    WorkerState = 0;
    Finished.store(true);
}

} // namespace vexo
