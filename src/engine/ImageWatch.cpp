#include "engine/ImageWatch.h"

#include <QFileInfo>

#include <utility>

namespace vexo
{

ImageWatch::ImageWatch(std::function<bool()> ready, QObject *parent)
    : QObject(parent), m_ready(std::move(ready))
{
    m_settle.setSingleShot(true);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &ImageWatch::noticed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &ImageWatch::noticed);
    connect(&m_settle, &QTimer::timeout, this, &ImageWatch::settled);
}

void ImageWatch::watch(const QString &path, const ImageStamp &shown)
{
    stop();
    if (path.isEmpty())
        return;
    m_path = path;
    m_shown = shown;
    // The folder tells of a file put in the image's place, or one made again
    // after it was removed: the file's own watch stays on the old one.
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir())
        m_watcher.addPath(folder);
    rearm();
    // Changed since it was read (during a mount): listed again once settled.
    if (ImageStamp::of(path) != shown)
        noticed();
}

void ImageWatch::stop()
{
    m_settle.stop();
    m_firstNoticed.invalidate();
    const QStringList paths = m_watcher.files() + m_watcher.directories();
    if (!paths.isEmpty())
        m_watcher.removePaths(paths);
    m_path.clear();
    m_watched = ImageStamp();
}

void ImageWatch::rearm()
{
    const ImageStamp now = ImageStamp::of(m_path);
    if (m_watcher.files().contains(m_path) && now.sameFile(m_watched))
        return;
    if (m_watcher.files().contains(m_path))
        m_watcher.removePath(m_path);
    m_watched = now;
    if (now.exists)
        m_watcher.addPath(m_path);
}

void ImageWatch::noticed()
{
    if (!watching())
        return;
    rearm();
    if (!m_firstNoticed.isValid())
        m_firstNoticed.start();
    // Each write puts the listing off, but not for ever.
    if (!m_settle.isActive() || m_firstNoticed.elapsed() < LongestWaitMs - SettleMs)
        m_settle.start(SettleMs);
}

void ImageWatch::settled()
{
    if (!watching())
        return;
    if (m_ready && !m_ready()) {
        m_settle.start(SettleMs);
        return;
    }
    m_firstNoticed.invalidate();
    // A folder's other files, or our own change listed already, change nothing shown.
    if (ImageStamp::of(m_path) != m_shown)
        emit changed();
}

} // namespace vexo
