#pragma once

#include "engine/ImageAccess.h"
#include "engine/ImageStamp.h"

#include <QString>

#include <atomic>
#include <mutex>

namespace vexo
{

class Registry;

// The simulator's disk image: whether it is mounted, whether a mount runs,
// and the image library that reads and writes it. Nothing else mounts,
// unmounts or formats.
//
// Any thread may call. From beginMount() to endMount() the mount's thread
// owns the library: an unmount asked for meanwhile is recorded (admitUnmount)
// and handed back by endMount(), and a format is refused. Without the image
// library and the registry nothing is ever attempted.
class ImageMount : public ImageAccess
{
public:
    // The registry key (under HKEY_LOCAL_MACHINE) whose "InstallPath" names
    // the simulator's folder.
    static constexpr const char *InstallKey = "\\Software\\Tavrin\\VexoTools\\2";
    enum State { NeverTried = -1, NotMounted = 0, Mounted = 1 };
    enum class MountResult { NoInstallPath, Failed, Mounted };
    enum class FormatResult { Busy, NoInstallPath, Failed, Formatted };

    ImageMount(VDiskLibrary *library, Registry *registry);
    ImageMount(const ImageMount &) = delete;
    ImageMount &operator=(const ImageMount &) = delete;

    // The image below an install folder: installPath + "/target/public/lib/vdisk.dat",
    // nothing inserted or trimmed between the two.
    static QString imagePath(const QString &installPath);

    bool usable() const { return m_library && m_registry; }
    VDiskLibrary *library() const override { return m_library; }
    // The image's state (a State); it never returns to NeverTried.
    int VDiskState() const { return m_state.load(); }
    bool isMounted() const override { return m_state.load() == Mounted; }
    bool mountRunning() const;
    // The last mount's consistency check found problems; cleared by an
    // unmount or a format.
    bool damaged() const override { return m_damaged.load(); }

    // Starts a mount; false while one runs, after release(), or when unusable.
    bool beginMount();
    // The mount (mount thread): the install folder from the registry (from
    // the simulator's own registry in the Wine prefix when ours names none),
    // then the library on its image. *image receives the image's path when
    // a registry named one. The state follows the result, unless the mount
    // was closed meanwhile.
    MountResult mount(QString *image);
    // The image the last mount or format used and where it was found, in
    // words ("PATH, found through the registry file ..." or "... through
    // the Wine prefix ..."); empty before.
    QString imageSource() const;
    // The same for the image a mount would use now, without mounting;
    // empty when the registry cannot be read.
    QString findImage() const;
    // The image file the last mount used, and how it was just before the
    // library opened it; empty and not existing before.
    QString imageFile() const;
    ImageStamp mountedStamp() const;
    // Checks the mounted image again after another program changed it, as a
    // mount does (damaged() follows). False when its tables cannot be read
    // any more or nothing is mounted: only a new mount tells why. Not while
    // a mount runs.
    bool recheck();
    // Ends the mount; true when an unmount was asked for meanwhile.
    bool endMount();
    // An unmount against a running mount: false when recorded for its end,
    // true when it may be carried out now.
    bool admitUnmount();
    // Releases the image (also when nothing is mounted): state NotMounted.
    void unmount();
    // Formats the image, mounted or not; refused while a mount runs. An
    // image not mounted is named first, as a mount does.
    FormatResult format();
    // What a format would erase: the image's path and its number of files
    // (-1 when it cannot be read). Not mounted, the image is mounted just
    // long enough to count. False while a mount runs or without an install
    // folder.
    bool formatTarget(QString *image, int *files);
    // At exit, before the mount threads are awaited: no mount starts any
    // more, and one that ends now leaves the state as it was.
    void close();
    // At exit, once the mount threads have ended: the library is released.
    void release();

private:
    // The image the registry leads to, and where it came from.
    bool locate(QString *image, QString *source) const;

    VDiskLibrary *const m_library;
    Registry *const m_registry;
    mutable std::mutex m_mutex;
    // VDiskState
    std::atomic<int> m_state{NeverTried};
    std::atomic<bool> m_damaged{false};
    bool m_mounting = false;
    bool m_unmountAfterMount = false;
    bool m_closed = false;
    bool m_released = false;
    QString m_source;
    QString m_image;
    ImageStamp m_mountedStamp;
};

} // namespace vexo
