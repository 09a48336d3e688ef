#pragma once

#include <QString>

namespace vexo
{

class LanguageTable;

// The status-line texts that say why a command did nothing, in the words of
// section "Status" of the language table.
namespace StatusTexts
{
// A typed folder that does not exist (or is no folder).
QString NoSuchFolder(const LanguageTable &language, const QString &path);
// The device link stopped answering during a command; `why` is the reason.
QString LinkLost(const LanguageTable &language, const QString &why);
// Reasons the link was lost.
QString LinkTimedOut(const LanguageTable &language);
QString LinkClosed(const LanguageTable &language);
// Paste into a pane that cannot take files now.
QString DeviceNotConnected(const LanguageTable &language);
QString ImageNotMounted(const LanguageTable &language);
// Paste with no files on the clipboard.
QString ClipboardEmpty(const LanguageTable &language);
// A rename the device or the image refused, and why.
QString RenameTooLong(const LanguageTable &language, const QString &name, int maxBytes);
QString RenameNameTaken(const LanguageTable &language, const QString &name);
QString RenameBadCharacters(const LanguageTable &language, const QString &name);
QString RenameRefused(const LanguageTable &language, const QString &name);
// No program could open the file.
QString CannotOpen(const LanguageTable &language, const QString &path);
// A format that did not take.
QString FormatFailed(const LanguageTable &language);
} // namespace StatusTexts

} // namespace vexo
