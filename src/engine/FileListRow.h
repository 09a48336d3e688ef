#pragma once

#include <QDate>
#include <QString>

namespace vexo
{

// The texts of a device or image file row.

// The size in bytes right-aligned in 10 characters, a space and "B"
// ("%*d B" with width 10); longer numbers widen the field, nothing is cut.
QString FileSizeText(qint64 size);

// "yyyy/MM/dd", each "/" being the date separator of the user's locale.
QString FileDateText(const QDate &date);
// The same with a separator looked up once for many rows.
QString FileDateText(const QDate &date, const QString &separator);
// The date separator of the user's locale ("/" when it has none).
QString LocaleDateSeparator();

// Device times count milliseconds since 1970-01-01; image times seconds. The
// day is the count divided by a day's length, truncated toward zero, with no
// time-zone conversion (so -1 is still 1 January 1970).
QDate DeviceFileDate(qint64 milliseconds);
QDate VDiskFileDate(qint32 seconds);

// Creates an empty file, or empties an existing one. Never follows a
// symbolic link and never fails loudly: false when it did not work.
bool CreateEmptyFile(const QString &path);

} // namespace vexo
