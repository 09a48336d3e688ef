#pragma once

#include "engine/DeviceResult.h"

#include <QStringList>
#include <QVector>

class QWidget;

namespace vexo
{

class DeviceSession;
class LanguageTable;

// Deletes `names` on the palmtop on a worker thread while the window stays
// live. A delete that takes more than a moment shows a modal progress window
// over `parent` whose Cancel (or Escape) stops it after the requests already
// sent. One result per name: ok, or why not (Stopped for those not sent).
QVector<DeviceResult> RunDeletes(DeviceSession &session, const QStringList &names,
                                 const LanguageTable &language, QWidget *parent);

} // namespace vexo
