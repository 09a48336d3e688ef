#include "engine/TransferExecutor.h"

#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/LanguageTable.h"
#include "engine/ReplaceFacts.h"
#include "engine/RunReport.h"
#include "engine/SpaceCheck.h"
#include "engine/TransferWindow.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/Prompter.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

using Pointer = TransferWindow::Pointer;

// One pointer pushed for a scope. Message boxes and the progress window get
// the normal pointer back while a copy shows the busy one.
class PointerScope
{
public:
    PointerScope(TransferWindow &window, Pointer pointer) : m_window(window)
    {
        m_window.pushPointer(pointer);
    }
    ~PointerScope() { m_window.popPointer(); }
    PointerScope(const PointerScope &) = delete;
    PointerScope &operator=(const PointerScope &) = delete;

private:
    TransferWindow &m_window;
};

// The busy pointer and OpIdle false while a copy holds the window thread. The
// earlier OpIdle comes back, so a copy inside the relay leaves it false for
// the rest of the relay.
class BusyWindow
{
public:
    explicit BusyWindow(TransferWindow &window) : m_window(window), m_wasIdle(window.idle())
    {
        m_window.setIdle(false);
        m_window.pushPointer(Pointer::Busy);
    }
    ~BusyWindow()
    {
        m_window.popPointer();
        m_window.setIdle(m_wasIdle);
    }
    BusyWindow(const BusyWindow &) = delete;
    BusyWindow &operator=(const BusyWindow &) = delete;

private:
    TransferWindow &m_window;
    const bool m_wasIdle;
};

// An empty folder made just now for this relay: whatever an earlier relay
// left under that name goes first, so no stale file is ever relayed.
bool makeFreshFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {
    };
    if (::lstat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            DeleteFolderTree(folder);
        else
            ::unlink(path.constData());
    }
    return ::mkdir(path.constData(), 0700) == 0;
}

// The pairs whose middle file the first stage of a relay left in the relay
// folder. A file that failed there has been reported once; the second stage
// does not fail it again.
void keepRelayed(QStringList &middle, QStringList &destinations)
{
    QStringList keptMiddle, keptDestinations;
    for (qsizetype i = 0; i < qMin(middle.size(), destinations.size()); ++i) {
        if (QFileInfo(middle.at(i)).isFile()) {
            keptMiddle << middle.at(i);
            keptDestinations << destinations.at(i);
        }
    }
    middle = keptMiddle;
    destinations = keptDestinations;
}

} // namespace

TransferExecutor::TransferExecutor(const TransferContext &context) : m_context(context)
{
}

QString TransferExecutor::relayFolder() const
{
    const QString &work = m_context.workFolder;
    return work.isEmpty() ? QString() : JoinPath(work, QStringLiteral("Temp"));
}

bool TransferExecutor::available(Route route) const
{
    return RouteAvailable(route, m_context.device.RpcConnected(), m_context.image.isMounted());
}

bool TransferExecutor::run(const TransferPlan &plan)
{
    if (!available(plan.route))
        return false;
    TransferWindow &window = m_context.window;
    // A run that cannot fit copies nothing: its refusal is the one box, and
    // the folders it would have left out are no news.
    if (!SpaceCheck(m_context).allows(plan.route, plan.sources, plan.destinations)) {
        window.takeRunNotes();
        return true;
    }
    switch (plan.route) {
    case Route::DeviceSend:
        window.runDevice(plan.sources, plan.destinations, tdSend);
        break;
    case Route::DeviceReceive:
        window.runDevice(plan.sources, plan.destinations, tdReceive);
        break;
    case Route::VDiskCopy:
        RunVDiskCopy(plan.sources, plan.destinations);
        break;
    case Route::RelayFromDevice:
        RunRelayTransfer(plan.sources, plan.destinations, true);
        break;
    case Route::RelayFromVDisk:
        RunRelayTransfer(plan.sources, plan.destinations, false);
        break;
    case Route::None:
        return false;
    }
    return true;
}

void TransferExecutor::RunVDiskCopy(const QStringList &sources, const QStringList &destinations)
{
    VDiskLibrary *library = m_context.image.library();
    Prompter &prompter = *m_context.prompter;
    const LanguageTable &language = m_context.language;
    TransferWindow &window = m_context.window;
    BusyWindow busy(window);

    enum class State { Go, Skipped, Cancelled, Failed };
    State state = State::Go;
    QStringList tooLong;
    const qsizetype pairs = qMin(sources.size(), destinations.size());
    for (qsizetype i = 0; i < pairs; ++i) {
        state = State::Go;
        const QString &destination = destinations.at(i);
        // Listed once at the end rather than a box per file.
        if (!destination.startsWith(u'/') && CodePage::cp936Length(destination) > ImageNameBytes) {
            tooLong << Filled(language.message(QStringLiteral("FailureLine")),
                              {destination, Filled(language.error(QStringLiteral("NameTooLong")),
                                                   {QString::number(ImageNameBytes)})});
            state = State::Failed;
            continue;
        }
        if (library && CopyTargetExists(*library, destination)) {
            QString question = Filled(language.message(QStringLiteral("ReplaceQuestion")), {destination});
            const ReplaceFacts facts(ImageCopyFacts(*library, destination),
                                     ImageCopyFacts(*library, sources.at(i)));
            if (const QString told = facts.text(language); !told.isEmpty())
                question += QStringLiteral("\n\n") + told;
            PromptAnswer answer = PromptAnswer::Cancel;
            {
                PointerScope normal(window, Pointer::Normal);
                answer = prompter.ask(question, language.msg(QStringLiteral("MsgTitle")),
                                      PromptButtons::YesNoCancel, PromptIcon::Question);
            }
            state = answer == PromptAnswer::Yes  ? State::Go
                    : answer == PromptAnswer::No ? State::Skipped
                                                 : State::Cancelled;
        }
        QString status = Filled(language.status(QStringLiteral("CopyingFile")), {PathFileName(destination)});
        if (pairs > 1)
            status += QStringLiteral("  ") + Filled(language.window(QStringLiteral("FileNumber")),
                                                    {QString::number(i + 1), QString::number(pairs)});
        window.showStatus(status);
        if (state == State::Cancelled)
            break;
        if (state == State::Go &&
            (!library || CopyVDiskFile(*library, sources.at(i), destination, true) != 1)) {
            PointerScope normal(window, Pointer::Normal);
            if (!SpaceCheck(m_context).explainImageFailure(sources.at(i)))
                ShowCopyFailed(prompter, language, ImageCopyFailureReason(m_context.image, language));
            state = State::Failed;
        }
    }
    if (state == State::Go)
        window.showStatus(language.status(QStringLiteral("CopyDone")));
    // The copy's one box: the folders it left out, what an earlier stage
    // failed, then the names refused here; all of it left with the window
    // when a later stage ends the copy.
    const QString failures = WithFailureLines(language, window.takeRunFailures(), tooLong);
    if (window.runFailuresHeld())
        window.keepRunFailures(failures);
    else
        TellRunReport(m_context, window.takeRunNotes(), failures);
}

void TransferExecutor::RunRelayTransfer(const QStringList &sources, const QStringList &destinations,
                                        bool fromDevice)
{
    TransferWindow &window = m_context.window;
    BusyWindow busy(window);
    const QString relay = relayFolder();
    if (relay.isEmpty() || !makeFreshFolder(relay)) {
        PointerScope normal(window, Pointer::Normal);
        ShowCopyFailed(*m_context.prompter, m_context.language);
        return;
    }
    QStringList middle = RelayMiddle(relay, sources);
    QStringList to = destinations;
    auto deviceStage = [&window](const QStringList &from, const QStringList &to,
                                 TransferDirection direction) {
        // The progress window's Cancel wants the normal pointer.
        PointerScope normal(window, Pointer::Normal);
        window.runDevice(from, to, direction);
    };
    // The first stage holds what it would tell at its end: the second
    // stage's box names it too, so the copy ends with one box.
    window.holdRunFailures(true);
    if (fromDevice)
        deviceStage(sources, middle, tdReceive);
    else
        RunVDiskCopy(sources, middle);
    window.holdRunFailures(false);
    keepRelayed(middle, to);
    if (fromDevice) {
        // The sizes are known only now, with the files on the PC.
        if (!middle.isEmpty() && SpaceCheck(m_context).allows(Route::VDiskCopy, middle, to))
            RunVDiskCopy(middle, to);
    } else if (!middle.isEmpty()) {
        deviceStage(middle, to, tdSend);
    }
    // What no second stage told: nothing reached the relay folder, or the
    // image had no room.
    TellRunReport(m_context, window.takeRunNotes(), window.takeRunFailures());
    DeleteFolderTree(relay);
}

} // namespace vexo
