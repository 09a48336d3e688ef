#pragma once

#include "engine/ImageStamp.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace vexo
{

// Follows the image file while the window shows it, so that a change made by
// another program (the `vdisk` tool, a second window) is listed without a
// refresh. It watches the file and its folder: a file put in the image's
// place (a rename over it) is watched in turn. Window thread only.
class ImageWatch : public QObject
{
    Q_OBJECT
public:
    // A burst of writes settles this long before `changed` is emitted...
    static constexpr int SettleMs = 300;
    // ...but a steady stream of them is followed at least this often.
    static constexpr int LongestWaitMs = 2000;

    // `ready`: whether a change may be taken now; while it says no, the
    // change is kept and asked about again every SettleMs.
    explicit ImageWatch(std::function<bool()> ready, QObject *parent = nullptr);

    // Watches `path`, whose contents were last shown as `shown`; replaces an
    // earlier watch.
    void watch(const QString &path, const ImageStamp &shown);
    // Ends the watch; a change still settling is dropped.
    void stop();
    bool watching() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // The file as `shown` (taken before it was read) is what the window
    // shows: a change that leaves it so (our own copy, listed already) is
    // not reported again.
    void markShown(const ImageStamp &shown) { m_shown = shown; }

signals:
    // The file is no longer as last shown (changed, replaced or gone), the
    // changes have settled and `ready` allows it.
    void changed();

private:
    void noticed();
    void settled();
    // Watches the file again when another one took its place.
    void rearm();

    std::function<bool()> m_ready;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
    QElapsedTimer m_firstNoticed;
    QString m_path;
    ImageStamp m_watched;
    ImageStamp m_shown;
};

} // namespace vexo
