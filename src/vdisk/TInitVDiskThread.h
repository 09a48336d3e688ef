#pragma once

#include "engine/LanguageTable.h"
#include "engine/VDiskListing.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

namespace vexo
{

class ImageMount;

// One mount attempt of the simulator's disk image and, when it succeeds, the
// first listing. Runs on its own thread and deletes itself when finished.
// It mounts through the image mount and reports each step by a signal, which
// the pane receives on the window thread in the order sent; the message
// about a missing install folder is asked there and waited for.
class TInitVDiskThread : public QThread
{
    Q_OBJECT
public:
    // `language`: the texts at the start; the window's may change meanwhile.
    TInitVDiskThread(std::shared_ptr<ImageMount> mount, const QString &placeholderFolder,
                     const LanguageTable &language, QObject *parent);

    // Cuts the attempt off from the window: nothing more is reported or listed.
    void detach() { m_detached = true; }

signals:
    void mounting();
    // Blocking: the registry names no install folder; answered before the attempt goes on.
    void installPathMissing();
    void mounted();
    void listed(const QVector<vexo::VDiskEntry> &entries);
    // Why the image did not mount; empty when no image was named.
    void failed(const QString &why);
    // The last step.
    void ended();

protected:
    void run() override { Execute(); }

private:
    void Execute();

    const std::shared_ptr<ImageMount> m_mount;
    const QString m_placeholderFolder;
    const LanguageTable m_language;
    std::atomic<bool> m_detached{false};
};

} // namespace vexo
