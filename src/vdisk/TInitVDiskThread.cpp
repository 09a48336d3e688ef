#include "vdisk/TInitVDiskThread.h"

#include "engine/ImageProbe.h"
#include "engine/VDiskListing.h"
#include "platform/Registry.h"
#include "platform/VDiskLibrary.h"
#include "vdisk/VDiskPane.h"

namespace vexo
{

TInitVDiskThread::TInitVDiskThread(VDiskPane &pane)
    : QThread(&pane), m_pane(pane), m_placeholderFolder(pane.placeholderFolder()), m_language(pane.language())
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

template <typename Change> void TInitVDiskThread::post(Change change)
{
    VDiskPane *pane = &m_pane;
    QMetaObject::invokeMethod(
        pane,
        [pane, change] {
            if (!pane->isDetached())
                change(*pane);
        },
        Qt::QueuedConnection);
}

void TInitVDiskThread::Execute()
{
    post([](VDiskPane &pane) { pane.showState(VDiskPane::Connecting); });

    QString installPath;
    const bool opened = m_pane.registry().readMachineString(QString::fromUtf8(VDiskPane::InstallKey),
                                                            QStringLiteral("InstallPath"), &installPath);
    bool mounted = false;
    QString failure; // why a named image did not mount
    if (!opened) {
        VDiskPane *pane = &m_pane;
        QMetaObject::invokeMethod(
            pane,
            [pane] {
                if (!pane->isDetached())
                    pane->ShowNoInstallPath();
            },
            Qt::BlockingQueuedConnection);
    } else {
        const QString image = VDiskPane::imagePath(installPath);
        m_pane.library().SetVdiskFile(image);
        mounted = m_pane.library().InitFileSystem() == 0;
        if (!mounted)
            failure = ImageMountFailedText(m_language, image, ImageMountProblem(m_language, image));
    }

    if (m_pane.isDetached())
        return; // cut off at exit: nothing more is shown or listed
    m_pane.setVDiskState(mounted ? 1 : 0);
    if (mounted) {
        post([](VDiskPane &pane) { pane.showState(VDiskPane::Connected); });
        const QVector<VDiskEntry> entries = ReadVDiskListing(m_pane.library(), m_placeholderFolder);
        post([entries](VDiskPane &pane) { pane.showListing(entries); });
    } else {
        post([](VDiskPane &pane) { pane.showState(VDiskPane::Failed); });
        if (!failure.isEmpty())
            post([failure](VDiskPane &pane) { pane.showMountFailure(failure); });
    }
    post([](VDiskPane &pane) { pane.mountEnded(); });
}

} // namespace vexo
