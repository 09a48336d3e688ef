#include "engine/SpaceCheck.h"

#include "engine/LanguageTable.h"
#include "engine/TransferProgress.h"
#include "platform/Prompter.h"
#include "platform/VDiskLibrary.h"

#include <QFile>
#include <QLocale>

#include <sys/stat.h>

namespace vexo
{

namespace
{

// Bytes of PC files; anything that is not a regular file counts 0 (it is
// refused later on its own account).
QList<qint64> localSizes(const QStringList &paths)
{
    QList<qint64> sizes;
    for (const QString &path : paths) {
        struct stat st {
        };
        const bool regular = ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
        sizes.append(regular ? qint64(st.st_size) : 0);
    }
    return sizes;
}

QList<qint64> imageSizes(VDiskLibrary &library, const QStringList &names)
{
    QList<qint64> sizes;
    for (const QString &name : names)
        sizes.append(qMax(0, library.zflen(name)));
    return sizes;
}

qint64 sum(const QList<qint64> &sizes)
{
    qint64 total = 0;
    for (qint64 size : sizes)
        total += size;
    return total;
}

} // namespace

SpaceCheck::SpaceCheck(const TransferContext &context) : m_context(context)
{
}

bool SpaceCheck::imageLacksRoom(VDiskLibrary &library, const QList<qint64> &sizes,
                                const QStringList &destinations, qint64 &needed, qint64 &freeBytes)
{
    quint32 freeClusters = 0, totalClusters = 0, clusterBytes = 0;
    if (library.zdiskspace(&freeClusters, &totalClusters, &clusterBytes) != 0 || clusterBytes == 0)
        return false;
    const auto clusters = [clusterBytes](qint64 size) { return (size + clusterBytes - 1) / clusterBytes; };
    // The run fits when every file finds its clusters free at its turn: a
    // new file is written beside the one it replaces, whose clusters come
    // back only afterwards.
    qint64 left = freeClusters;
    qint64 all = 0;
    bool fits = true;
    for (qsizetype i = 0; i < sizes.size() && i < destinations.size(); ++i) {
        const qint64 take = clusters(sizes.at(i));
        all += take;
        if (take > left)
            fits = false;
        left -= take;
        left += clusters(qMax(0, library.zflen(destinations.at(i))));
    }
    needed = all * clusterBytes;
    freeBytes = qint64(freeClusters) * clusterBytes;
    return !fits;
}

bool SpaceCheck::allows(Route route, const QStringList &sources, const QStringList &destinations)
{
    VDiskLibrary *library = m_context.image.library();
    qint64 needed = 0, freeBytes = 0, totalBytes = 0;
    switch (route) {
    case Route::VDiskCopy:
        // Into the image only: PC sources are absolute paths.
        if (!library || sources.isEmpty() || !sources.first().startsWith(u'/'))
            return true;
        if (imageLacksRoom(*library, localSizes(sources), destinations, needed, freeBytes)) {
            refuse("NoSpaceImage", needed, freeBytes, true);
            return false;
        }
        return true;
    case Route::DeviceSend:
    case Route::RelayFromVDisk: {
        if (route == Route::RelayFromVDisk && !library)
            return true;
        needed = sum(route == Route::DeviceSend ? localSizes(sources) : imageSizes(*library, sources));
        if (!m_context.device.freeSpace(&freeBytes, &totalBytes).ok() || needed <= freeBytes)
            return true;
        refuse("NoSpaceDevice", needed, freeBytes);
        return false;
    }
    default:
        return true;
    }
}

bool SpaceCheck::explainImageFailure(const QString &source)
{
    VDiskLibrary *library = m_context.image.library();
    const QString busy = library ? library->busyText() : QString();
    if (!busy.isEmpty()) {
        m_context.window.showStatus(busy);
        if (m_context.prompter)
            m_context.prompter->ask(busy, m_context.language.message(QStringLiteral("ErrorTitle")),
                                    PromptButtons::Ok, PromptIcon::Error);
        return true;
    }
    qint64 needed = 0, freeBytes = 0;
    // The failed copy gave its clusters back, so the file alone is measured.
    if (!library || !source.startsWith(u'/') ||
        !imageLacksRoom(*library, localSizes({source}), {QString()}, needed, freeBytes))
        return false;
    refuse("NoSpaceImage", needed, freeBytes);
    return true;
}

void SpaceCheck::refuse(const char *key, qint64 needed, qint64 freeBytes, bool beforeReport)
{
    const LanguageTable &language = m_context.language;
    QString neededText = TransferProgress::sizeText(language, needed),
            freeText = TransferProgress::sizeText(language, freeBytes);
    // Rounded alike, the two would read as if the copy fitted.
    if (neededText == freeText) {
        const QString bytes = language.window(QStringLiteral("SizeBytes"));
        neededText = Filled(bytes, {QLocale::system().toString(needed)});
        freeText = Filled(bytes, {QLocale::system().toString(freeBytes)});
    }
    const QString text = Filled(language.message(QLatin1String(key)), {neededText, freeText});
    TransferWindow &window = m_context.window;
    window.showStatus(text);
    // The image stage of a relay: the failures the palmtop stage left go in
    // the same box, after the refusal.
    if (const QString held = beforeReport ? window.takeRunFailures() : QString(); !held.isEmpty()) {
        window.keepRunFailures(text + QStringLiteral("\n\n") + held);
        return;
    }
    if (m_context.prompter) {
        TransferWindow::Pointer normal = TransferWindow::Pointer::Normal;
        m_context.window.pushPointer(normal);
        m_context.prompter->ask(text, language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok,
                                PromptIcon::Error);
        m_context.window.popPointer();
    }
}

QString FreeSpaceText(const LanguageTable &language, qint64 freeBytes, qint64 totalBytes)
{
    return Filled(
        language.other(QStringLiteral("FreeSpace")),
        {TransferProgress::sizeText(language, freeBytes), TransferProgress::sizeText(language, totalBytes)});
}

bool ImageSpace(VDiskLibrary &library, qint64 &freeBytes, qint64 &totalBytes)
{
    quint32 freeClusters = 0, totalClusters = 0, clusterBytes = 0;
    if (library.zdiskspace(&freeClusters, &totalClusters, &clusterBytes) != 0)
        return false;
    freeBytes = qint64(freeClusters) * clusterBytes;
    totalBytes = qint64(totalClusters) * clusterBytes;
    return true;
}

} // namespace vexo
