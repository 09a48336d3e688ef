#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace vexo
{

class ProfileFiles;

// The user-interface texts, each from the language file or its built-in
// default. The 56 keys of the original five sections ("ToolBar", "StatusBar",
// "Msg", "Setup", "Other") are read as they always were; the program's own
// texts live in the sections "Window", "Message", "Status", "Error", "Menu"
// and "Sync". A key present with an empty value gives an empty text.
// Read-only after loading.
//
// Most defaults are English. The fixed Chinese message boxes and the progress
// window's "Finish..." and "Stop..." default to those exact texts, so a
// Chinese file (or one that lacks them) shows them unchanged; another
// language's file gives its own.
class LanguageTable
{
public:
    struct Key {
        const char *section;
        const char *key;
        const char *def;
        // For a whole phrase that older files built from two or three texts:
        // the same phrase made of those texts ("{Section/Key}" stands for a
        // text, %1 for the file name). Used when the file lacks this key but
        // gives one of the parts, so an older file keeps its own words.
        const char *parts = nullptr;
    };
    // The 56 keys of the original table, in the order they are read.
    static const QList<Key> &keys();
    // The program's own texts, and those of the context menus and Synchronize.
    static const QList<Key> &addedKeys();
    // Both of the above, the original keys first.
    static const QList<Key> &allKeys();

    // A table holding the defaults.
    LanguageTable();

    // The text of section/key (case-insensitive); empty for an unknown key.
    QString text(const QString &section, const QString &key) const;
    // Shorthands for the sections.
    QString toolBar(const QString &key) const { return text(QStringLiteral("ToolBar"), key); }
    QString statusBar(const QString &key) const { return text(QStringLiteral("StatusBar"), key); }
    QString msg(const QString &key) const { return text(QStringLiteral("Msg"), key); }
    QString setup(const QString &key) const { return text(QStringLiteral("Setup"), key); }
    QString other(const QString &key) const { return text(QStringLiteral("Other"), key); }
    QString window(const QString &key) const { return text(QStringLiteral("Window"), key); }
    QString message(const QString &key) const { return text(QStringLiteral("Message"), key); }
    QString status(const QString &key) const { return text(QStringLiteral("Status"), key); }
    QString error(const QString &key) const { return text(QStringLiteral("Error"), key); }
    QString menu(const QString &key) const { return text(QStringLiteral("Menu"), key); }
    QString sync(const QString &key) const { return text(QStringLiteral("Sync"), key); }

    void set(const QString &section, const QString &key, const QString &value);

    // The file's [Language] Name (its display name) and Locale (for the
    // toolkit's own texts, such as "zh_CN"); see LanguageFileInfo.
    QString displayName;
    QString locale;

private:
    QHash<QString, QString> m_texts;
};

// What a language file says about itself.
struct LanguageFileInfo {
    QString file;        // the name, as the Language setting holds it
    QString displayName; // [Language] Name, or the file name when missing
    QString locale;      // [Language] Locale, or a guess from the file name
};

// Reads every key from the language file named by the Language setting,
// looked up in each of folders in turn (the first that exists is used). A
// missing file or key gives the default; nothing is reported.
LanguageTable LoadLanguage(ProfileFiles &profiles, const QStringList &folders, const QString &language);

// The language file `language` as found in folders (the first that holds it).
LanguageFileInfo ReadLanguageFileInfo(ProfileFiles &profiles, const QStringList &folders,
                                      const QString &language);

// The language files in folders ("*.lng"), each name once (the first folder
// that holds it wins), ordered by display name.
QList<LanguageFileInfo> FindLanguageFiles(ProfileFiles &profiles, const QStringList &folders);

// A text with %1 ... %9 replaced by args in one pass: a placeholder the
// text lacks is simply not used, and nothing in args is replaced again.
QString Filled(const QString &pattern, const QStringList &args);

// Puts a keyboard accelerator on a button text: before the letter when the
// text is Latin and holds it ("Yes", 'Y' gives "&Yes"), otherwise after it
// in brackets ("是" gives "是(&Y)"). A text with its own '&' is kept.
QString WithAccelerator(const QString &text, QChar letter);

} // namespace vexo
