#pragma once

#include "engine/common.h"

#include <QPixmap>

namespace vexo
{

// Our 40 x 40 pictures of the three panes, drawn in code: the PC's disk
// (pkLocal), the palmtop (pkDevice) and the simulator's disk image (pkVDisk).
// A null pixmap for pkOther.
QPixmap PanePicture(PathKind kind);

} // namespace vexo
