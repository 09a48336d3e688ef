#pragma once

#include <QString>
#include <QStringList>

namespace vexo
{

class LanguageTable;

// One status-line text, named by its key in section "Status" of the language
// table. Called with the table and the values of its placeholders %1, %2 ...
// (texts or numbers), it gives the filled text.
class StatusText
{
public:
    constexpr explicit StatusText(const char *key) : m_key(key) {}

    template <class... Args> QString operator()(const LanguageTable &language, const Args &...args) const
    {
        return filled(language, {value(args)...});
    }

private:
    static QString value(const QString &text) { return text; }
    static QString value(int number) { return QString::number(number); }
    QString filled(const LanguageTable &language, const QStringList &args) const;

    const char *m_key;
};

// The status-line texts that say why a command did nothing, with what fills
// their placeholders.
namespace StatusTexts
{
// A typed folder that does not exist (or is no folder): the path.
inline constexpr StatusText NoSuchFolder{"NoSuchFolder"};
// The device link stopped answering during a command: why, one of the two reasons.
inline constexpr StatusText LinkLost{"LinkLost"}, LinkTimedOut{"LinkTimedOut"}, LinkClosed{"LinkClosed"};
// Paste into a pane that cannot take files now, or with no files on the clipboard.
inline constexpr StatusText DeviceNotConnected{"PasteNoDevice"}, ImageNotMounted{"PasteNoImage"},
    ClipboardEmpty{"PasteNothing"};
// A rename the device or the image refused, and why: the new name (and for a
// name too long, the most bytes a name may have).
inline constexpr StatusText RenameTooLong{"RenameTooLong"}, RenameNameTaken{"RenameTaken"},
    RenameBadCharacters{"RenameBadName"}, RenameRefused{"RenameRefused"};
// No program could open the file: its path.
inline constexpr StatusText CannotOpen{"NoProgram"};
// A format that did not take.
inline constexpr StatusText FormatFailed{"FormatFailed"};
} // namespace StatusTexts

} // namespace vexo
