#include "vdisk/TInitVDiskThread.h"

#include "engine/ImageMount.h"
#include "engine/ImageProbe.h"
#include "platform/VDiskLibrary.h"

namespace vexo
{

TInitVDiskThread::TInitVDiskThread(std::shared_ptr<ImageMount> mount, const QString &placeholderFolder,
                                   const LanguageTable &language, QObject *parent)
    : QThread(parent), m_mount(std::move(mount)), m_placeholderFolder(placeholderFolder), m_language(language)
{
    // The listing crosses to the window thread by value.
    qRegisterMetaType<QVector<vexo::VDiskEntry>>();
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TInitVDiskThread::Execute()
{
    if (!m_detached)
        emit mounting();
    QString image;
    const ImageMount::MountResult result = m_mount->mount(&image);
    if (result == ImageMount::MountResult::NoInstallPath && !m_detached)
        emit installPathMissing();
    if (m_detached)
        return; // cut off at exit: nothing more is shown or listed
    if (result == ImageMount::MountResult::Mounted) {
        emit mounted();
        emit listed(ReadVDiskListing(*m_mount->library(), m_placeholderFolder));
    } else {
        // Another writer that kept the image too long is named, not guessed at.
        const QString busy = m_mount->library()->busyText();
        const QString why =
            result == ImageMount::MountResult::Failed
                ? ImageMountFailedText(m_language, image,
                                       busy.isEmpty() ? ImageMountProblem(m_language, image) : busy)
                : QString();
        emit failed(why);
    }
    emit ended();
}

} // namespace vexo
