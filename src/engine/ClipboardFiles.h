#pragma once

#include <QStringList>

class QMimeData;

namespace vexo
{

class Clipboard;

// Our own clipboard format for device and image names. It keeps each name's
// kind: device names carry the device prefix, image names are bare. UTF-8,
// each name followed by one NUL.
inline constexpr const char *PaneNamesMimeType = "application/x-vexofile-names";
// The list of copied files that GNOME-style file managers read and write:
// "copy" or "cut", then one URL per line.
inline constexpr const char *GnomeCopiedFilesMimeType = "x-special/gnome-copied-files";

// The clipboard content for a file list as our Copy writes it. When every
// name is a local path, the files go out as URLs (text/uri-list and the GNOME
// list, so desktop file managers paste them) and as text; otherwise every
// name goes into our own format, and the names without the device prefix as
// text for other programs. Null for an empty list.
QMimeData *FileListMimeData(const QStringList &names);

// The file list in clipboard or drop data, in order: our own format when
// present, else the local files among the URLs (other URLs are left out),
// else the GNOME list. Plain text is never taken as a file list. Empty when
// there is none; names are taken whole, however long.
QStringList FileListFromMimeData(const QMimeData *data);

// Puts `names` on the clipboard in place of its content; false for an empty
// list (the clipboard is left as it was).
bool WriteClipboardFiles(Clipboard &clipboard, const QStringList &names);
// Fills `names` with the clipboard's file list; true when it held at least
// one name. Without one, `names` is left as it was.
bool ReadClipboardFiles(Clipboard &clipboard, QStringList &names);

} // namespace vexo
