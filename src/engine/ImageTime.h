#pragma once

#include <QtGlobal>

namespace vexo
{

// The image keeps the local wall-clock time a file was written, in whole
// seconds, as FAT does; the PC and the device keep UTC milliseconds. These
// convert between the two with the PC's time zone at that moment, so a copy
// shows the same clock time on every side.

// Rounded down to the even second the image can hold: a copy is then never
// newer than its source and stays within the two seconds a comparison by
// time allows.
qint32 ImageTimeFromUtcMs(qint64 utcMs);
qint64 UtcMsFromImageTime(qint32 wallSeconds);

} // namespace vexo
