#include "engine/ImageMount.h"

#include "platform/Registry.h"
#include "platform/VDiskLibrary.h"
#include "vexo/sys/SimulatorImage.h"

#include <utility>

namespace vexo
{

ImageMount::ImageMount(VDiskLibrary *library, Registry *registry) : m_library(library), m_registry(registry)
{
}

QString ImageMount::imagePath(const QString &installPath)
{
    return QString::fromStdString(sys::SimulatorImage::below(installPath.toStdString()));
}

bool ImageMount::mountRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mounting;
}

bool ImageMount::beginMount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!usable() || m_mounting || m_closed)
        return false;
    m_mounting = true;
    return true;
}

bool ImageMount::endMount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mounting = false;
    return std::exchange(m_unmountAfterMount, false);
}

bool ImageMount::admitUnmount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mounting)
        m_unmountAfterMount = true;
    return !m_mounting;
}

bool ImageMount::locate(QString *image, QString *source) const
{
    QString folder;
    if (!m_registry->readMachineString(QString::fromUtf8(InstallKey), QStringLiteral("InstallPath"), &folder))
        return false;
    QString where = m_registry->where();
    std::string wineFolder, wineWhere;
    // Installed under Wine, the simulator's key is in the prefix's registry only.
    if (folder.isEmpty() && sys::SimulatorImage::fromWine(sys::WinePrefix(sys::WinePrefix::defaultFolder()),
                                                          wineFolder, wineWhere)) {
        folder = QString::fromStdString(wineFolder);
        where = QString::fromStdString(wineWhere);
    }
    *image = imagePath(folder);
    *source = *image + QStringLiteral(", found through ") + where;
    return true;
}

QString ImageMount::imageSource() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_source;
}

QString ImageMount::findImage() const
{
    QString image, source;
    return usable() && locate(&image, &source) ? source : QString();
}

ImageMount::MountResult ImageMount::mount(QString *image)
{
    QString source;
    MountResult result = MountResult::NoInstallPath;
    ImageStamp stamp;
    if (locate(image, &source)) {
        // Taken before the library opens the file: a change in between is
        // then seen as one, never hidden.
        stamp = ImageStamp::of(*image);
        m_library->SetVdiskFile(*image);
        result = m_library->InitFileSystem() == 0 ? MountResult::Mounted : MountResult::Failed;
    }
    // A broken FAT still mounts; the check tells the user before a copy fails.
    m_damaged = result == MountResult::Mounted && m_library->zcheck() > 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_source = source;
    m_image = *image;
    m_mountedStamp = stamp;
    if (!m_closed)
        m_state = result == MountResult::Mounted ? Mounted : NotMounted;
    return result;
}

QString ImageMount::imageFile() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_image;
}

ImageStamp ImageMount::mountedStamp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mountedStamp;
}

bool ImageMount::recheck()
{
    if (!usable() || !isMounted() || mountRunning())
        return false;
    // The library reads the tables again first, as they changed under it.
    const int problems = m_library->zcheck();
    m_damaged = problems > 0;
    return problems >= 0;
}

void ImageMount::unmount()
{
    if (m_library)
        m_library->DestoryFileSystem();
    m_state = NotMounted;
    m_damaged = false;
}

ImageMount::FormatResult ImageMount::format()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mounting)
        return FormatResult::Busy;
    // Unmounted, the library may not know the image yet (no attempt so far,
    // or a later change of the install folder): name it, as a mount does.
    if (m_state != Mounted) {
        QString image, source;
        if (!locate(&image, &source))
            return FormatResult::NoInstallPath;
        m_source = source;
        m_library->SetVdiskFile(image);
    }
    if (m_library->FormatFileSystem() != 0)
        return FormatResult::Failed;
    m_damaged = false;
    return FormatResult::Formatted;
}

// Lists the mounted image's root; -1 when no search starts.
static int countFiles(VDiskLibrary &library)
{
    const int search = library.OpenFindFile(QStringLiteral("/"));
    if (search <= 0)
        return -1;
    VDiskLibrary::FindRecord record;
    int files = 0;
    for (int found = library.FindFirst(&record, search); found == 0;
         found = library.FindNext(&record, search))
        ++files;
    return files;
}

bool ImageMount::formatTarget(QString *image, int *files)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QString source;
    if (m_mounting || !locate(image, &source))
        return false;
    if (m_state == Mounted) {
        *files = countFiles(*m_library);
        return true;
    }
    m_library->SetVdiskFile(*image);
    *files = m_library->InitFileSystem() == 0 ? countFiles(*m_library) : -1;
    m_library->DestoryFileSystem();
    return true;
}

void ImageMount::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
}

void ImageMount::release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        if (std::exchange(m_released, true))
            return;
    }
    if (m_library)
        m_library->DestoryFileSystem();
}

} // namespace vexo
