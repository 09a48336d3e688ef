#include "engine/SettingsFile.h"

#include "engine/LanguageTable.h"

#include "engine/common.h"
#include "platform/ProfileFiles.h"

namespace vexo
{

namespace
{
const QString Information = QStringLiteral("Information");
const QString Setting = QStringLiteral("Setting");
} // namespace

SettingsFile::SettingsFile(ProfileFiles &profiles, QString path)
    : m_profiles(profiles), m_path(std::move(path))
{
}

bool SettingsFile::check(bool written)
{
    if (!written && m_onError)
        m_onError(Filled(m_errorText, {m_path}));
    return written;
}

bool SettingsFile::createIfMissing()
{
    if (m_profiles.exists(m_path))
        return true;
    const Settings d;
    struct Entry {
        const QString &section;
        QString key;
        QString value;
    };
    const Entry entries[] = {
        {Information, QStringLiteral("AppName"), QStringLiteral("VexoFileManager")},
        {Information, QStringLiteral("Version"), QStringLiteral("V1.0")},
        {Information, QStringLiteral("CopyRight"),
         QStringLiteral("Copyright (C) 2026 the VexoFileManager developers")},
        {Setting, QStringLiteral("Language"), d.Language},
        {Setting, QStringLiteral("Comport"), QString::number(d.Comport)},
        {Setting, QStringLiteral("Baudrate"), QString::number(d.Baudrate)},
        {Setting, QStringLiteral("Compress"), QString::number(d.Compress)},
        {Setting, QStringLiteral("AutoRpc"), QStringLiteral("1")},
        {Setting, QStringLiteral("GridLines"), QStringLiteral("0")},
        {Setting, QStringLiteral("ViewStyle"), QStringLiteral("0")},
        {Setting, QStringLiteral("Pathed"), QStringLiteral("0")},
        {Setting, QStringLiteral("Path"), QString()},
        {Setting, QStringLiteral("LastPath"), QStringLiteral("0")},
    };
    for (const Entry &e : entries) {
        if (!check(m_profiles.writeString(m_path, e.section, e.key, e.value)))
            return false;
    }
    return true;
}

Settings SettingsFile::read()
{
    const Settings d;
    Settings s;
    s.Language = m_profiles.readString(m_path, Setting, QStringLiteral("Language"), d.Language);
    s.Comport = m_profiles.readInt(m_path, Setting, QStringLiteral("Comport"), d.Comport);
    s.Baudrate = m_profiles.readInt(m_path, Setting, QStringLiteral("Baudrate"), d.Baudrate);
    s.Compress = m_profiles.readInt(m_path, Setting, QStringLiteral("Compress"), d.Compress);
    // An hour is already far past any cable put back by hand.
    s.ReconnectSeconds = qBound(
        0, m_profiles.readInt(m_path, Setting, QStringLiteral("ReconnectSeconds"), d.ReconnectSeconds), 3600);
    s.AutoRpc = m_profiles.readBool(m_path, Setting, QStringLiteral("AutoRpc"), d.AutoRpc);
    s.AutoVDisk = m_profiles.readBool(m_path, Setting, QStringLiteral("AutoVDisk"), d.AutoVDisk);
    s.GridLines = m_profiles.readBool(m_path, Setting, QStringLiteral("GridLines"), d.GridLines);
    s.ViewMode = m_profiles.readInt(m_path, Setting, QStringLiteral("ViewStyle"), d.ViewMode);
    s.Pathed = m_profiles.readBool(m_path, Setting, QStringLiteral("Pathed"), d.Pathed);
    s.Path = m_profiles.readString(m_path, Setting, QStringLiteral("Path"), d.Path);
    s.LastPath = m_profiles.readBool(m_path, Setting, QStringLiteral("LastPath"), d.LastPath);
    return s;
}

int SettingsFile::storedViewStyle()
{
    return m_profiles.readInt(m_path, Setting, QStringLiteral("ViewStyle"), 0);
}

bool SettingsFile::writeString(const QString &key, const QString &value)
{
    return check(m_profiles.writeString(m_path, Setting, key, value));
}

bool SettingsFile::writeInt(const QString &key, int value)
{
    return check(m_profiles.writeInt(m_path, Setting, key, value));
}

bool SettingsFile::writeBool(const QString &key, bool value)
{
    return check(m_profiles.writeBool(m_path, Setting, key, value));
}

void SettingsFile::saveOnExit(Settings &settings, const QString &currentFolder)
{
    if (storedViewStyle() != 0)
        writeInt(QStringLiteral("ViewStyle"), settings.ViewMode);
    if (settings.LastPath) {
        settings.Path = currentFolder;
        if (GetPathKind(currentFolder) == pkLocal)
            writeString(QStringLiteral("Path"), currentFolder);
    }
}

Settings LoadSettings(SettingsFile &file, SystemPaths &paths, QString *tempDir)
{
    *tempDir = PrepareWorkFolder(GetSystemTempPath(paths));
    if (!file.createIfMissing())
        return Settings();
    return file.read();
}

} // namespace vexo
