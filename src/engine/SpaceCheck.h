#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferPlan.h"

#include <QString>
#include <QStringList>

namespace vexo
{

class LanguageTable;
class VDiskLibrary;

// Free space on the palmtop and in the image, and the refusal of a copy that
// cannot fit. The sizes are checked before anything is written wherever they
// are known: into the image by clusters (a file takes whole clusters, so
// bytes would undercount), to the palmtop by bytes from its Space answer.
// A side that cannot tell (an older palmtop, an older image library) is
// never refused.
//
// Window thread only.
class SpaceCheck
{
public:
    explicit SpaceCheck(const TransferContext &context);

    // Whether the pairs fit where they go on this route; when not, says so
    // in one box, with the bytes needed and free, and in the status line.
    // Into the image, with failures of an earlier relay stage left with the
    // window, the refusal is put ahead of them there, for the relay's box.
    // Routes whose destination's space is not known here always fit.
    bool allows(Route route, const QStringList &sources, const QStringList &destinations);
    // After a copy into the image failed: when another program holding the
    // image or lack of room explains it, says so (as allows does) and gives
    // true; false leaves the reason to the caller.
    bool explainImageFailure(const QString &source);

    // Whether a run into the image lacks room; needed and free in bytes of
    // whole clusters. False when the image library cannot tell. A replaced
    // file's clusters count as freed once its copy is done, as the library
    // frees them then.
    static bool imageLacksRoom(VDiskLibrary &library, const QList<qint64> &sizes,
                               const QStringList &destinations, qint64 &needed, qint64 &freeBytes);

private:
    void refuse(const char *key, qint64 needed, qint64 freeBytes, bool beforeReport = false);

    const TransferContext &m_context;
};

// The caption's note of a side's space: "(1.5 MB free of 4.0 MB)".
QString FreeSpaceText(const LanguageTable &language, qint64 freeBytes, qint64 totalBytes);
// The image's free and total bytes; false when the library cannot tell.
bool ImageSpace(VDiskLibrary &library, qint64 &freeBytes, qint64 &totalBytes);

} // namespace vexo
