#include "engine/ImageTime.h"

#include <QDateTime>

#include <limits>

namespace vexo
{

qint32 ImageTimeFromUtcMs(qint64 utcMs)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs).toLocalTime();
    qint64 wall = QDateTime(local.date(), local.time(), Qt::UTC).toSecsSinceEpoch();
    wall -= ((wall % 2) + 2) % 2;
    // FAT cannot go below 1980 anyway; the library clamps what is left.
    return static_cast<qint32>(qBound(qint64{0}, wall, qint64{std::numeric_limits<qint32>::max() - 1}));
}

qint64 UtcMsFromImageTime(qint32 wallSeconds)
{
    const QDateTime wall = QDateTime::fromSecsSinceEpoch(wallSeconds, Qt::UTC);
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime).toMSecsSinceEpoch();
}

} // namespace vexo
