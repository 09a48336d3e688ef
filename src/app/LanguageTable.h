#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace vexo
{

class ProfileFiles;

// The user-interface texts: 56 keys in five sections, each from the language
// file or its built-in English default. A key present with an empty value
// gives an empty text. Read-only after loading.
class LanguageTable
{
public:
    struct Key {
        const char *section;
        const char *key;
        const char *english;
    };
    // The keys in the order they are read.
    static const QList<Key> &keys();
    // Keys beyond those, in sections of their own, read the same way.
    static const QList<Key> &addedKeys();

    // A table holding the English defaults.
    LanguageTable();

    // The text of section/key (case-insensitive); empty for an unknown key.
    QString text(const QString &section, const QString &key) const;
    // Shorthands for the sections.
    QString toolBar(const QString &key) const { return text(QStringLiteral("ToolBar"), key); }
    QString statusBar(const QString &key) const { return text(QStringLiteral("StatusBar"), key); }
    QString msg(const QString &key) const { return text(QStringLiteral("Msg"), key); }
    QString setup(const QString &key) const { return text(QStringLiteral("Setup"), key); }
    QString other(const QString &key) const { return text(QStringLiteral("Other"), key); }
    QString sync(const QString &key) const { return text(QStringLiteral("Sync"), key); }

    void set(const QString &section, const QString &key, const QString &value);

private:
    static QString id(const QString &section, const QString &key);
    QHash<QString, QString> m_texts;
};

// Reads every key from the language file named by the Language setting,
// looked up in each of folders in turn (the first that exists is used). A
// missing file or key gives the default; nothing is reported.
LanguageTable LoadLanguage(ProfileFiles &profiles, const QStringList &folders, const QString &language);

} // namespace vexo
