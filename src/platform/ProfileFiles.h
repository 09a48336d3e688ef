#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vexo
{

// Profile (INI) files with the semantics the program's settings and language
// files have always had on Windows:
//  - section and key names are compared case-insensitively, whitespace around
//    names and values is trimmed, one pair of surrounding quotes is removed;
//  - lines starting with ';' or '#' are comments; the first section of a name
//    and the first key of a name in it win;
//  - a value is read into a 2048-byte buffer, so at most 2047 bytes (in the
//    file's own encoding; UTF-16 counts as UTF-8) come back, never a broken
//    character;
//  - a file is UTF-16 LE or BE after its byte-order mark, UTF-8 when it is
//    valid UTF-8 (a BOM is skipped), otherwise CP936;
//  - a write replaces the key's line in place (the key keeps its spelling in
//    the file), or appends the key at the end of its section, or appends the
//    section at the end of the file. Every other byte stays as it was and the
//    file keeps its encoding and line endings; only a value that CP936 cannot
//    hold turns a CP936 file into UTF-8. A new file is UTF-8.
// A missing file reads as empty. Subclasses supply the storage.
class ProfileFiles
{
public:
    static constexpr int ValueBufferSize = 2048;

    virtual ~ProfileFiles() = default;

    // The value, or def when the file, the section or the key is missing.
    QString readString(const QString &file, const QString &section, const QString &key, const QString &def);
    // Decimal, or hexadecimal after "0x"/"0X" (longer than two characters);
    // any text that is not a whole 32-bit integer gives def.
    int readInt(const QString &file, const QString &section, const QString &key, int def);
    // Booleans are integers: non-zero is true; a non-integer gives def.
    bool readBool(const QString &file, const QString &section, const QString &key, bool def);

    // False when the file could not be written, when the file cannot hold the
    // value without losing a character elsewhere, or when the section or key
    // name cannot be stored (a line break, a ']' in the section, an empty key,
    // a key with '=' or starting like a comment or a section); the old file
    // is then intact.
    bool writeString(const QString &file, const QString &section, const QString &key, const QString &value);
    bool writeInt(const QString &file, const QString &section, const QString &key, int value);
    bool writeBool(const QString &file, const QString &section, const QString &key, bool value);

    virtual bool exists(const QString &file) = 0;
    // The names of the files in folder (which ends in "/") whose names end in
    // suffix (compared case-insensitively); empty when the folder is missing.
    virtual QStringList filesIn(const QString &folder, const QString &suffix) = 0;

protected:
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<QByteArray> load(const QString &file) = 0;
    // Replaces the whole file; all or nothing.
    virtual bool store(const QString &file, const QByteArray &content) = 0;

private:
    std::optional<QString> lookup(const QString &file, const QString &section, const QString &key);
};

// Parses a string as the profile files' integers do; nullopt when it is not one.
std::optional<int> parseProfileInt(const QString &text);

} // namespace vexo
