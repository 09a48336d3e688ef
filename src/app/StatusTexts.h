#pragma once

#include <QString>

namespace vexo
{

// The status-line texts that say why a command did nothing. Kept together
// so that they can move into the language files as one block.
namespace StatusTexts
{
// A typed folder that does not exist (or is no folder).
QString NoSuchFolder(const QString &path);
// The device link stopped answering during a command; `why` is the reason.
QString LinkLost(const QString &why);
// Reasons the link was lost.
QString LinkTimedOut();
QString LinkClosed();
// Paste into a pane that cannot take files now.
QString DeviceNotConnected();
QString ImageNotMounted();
// Paste with no files on the clipboard.
QString ClipboardEmpty();
// A rename the device or the image refused, and why.
QString RenameTooLong(const QString &name, int maxBytes);
QString RenameNameTaken(const QString &name);
QString RenameBadCharacters(const QString &name);
QString RenameRefused(const QString &name);
// No program could open the file.
QString CannotOpen(const QString &path);
// A format that did not take.
QString FormatFailed();
} // namespace StatusTexts

} // namespace vexo
