#pragma once

#include "engine/Settings.h"

#include <QString>

#include <functional>

namespace vexo
{

class ProfileFiles;
class SystemPaths;

// VexoFile.ini: [Information] written once at creation, [Setting] read at
// start-up and written by the setup dialog and at exit. Every write that
// fails reports "Unable to write to <path>" (or the text set with
// setErrorText) to the error handler.
class SettingsFile
{
public:
    using ErrorHandler = std::function<void(const QString &message)>;

    SettingsFile(ProfileFiles &profiles, QString path);

    const QString &path() const { return m_path; }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }
    // The failure message, %1 standing for the path.
    void setErrorText(const QString &text) { m_errorText = text; }

    // Writes the first-start entries when the file does not exist yet (no
    // AutoVDisk). False when a write failed; the first failure is reported
    // once and the remaining entries are not attempted.
    bool createIfMissing();

    // Every [Setting] value, each with its default.
    Settings read();

    // The raw stored ViewStyle (0 when missing or not a number).
    int storedViewStyle();

    bool writeString(const QString &key, const QString &value);
    bool writeInt(const QString &key, int value);
    bool writeBool(const QString &key, bool value);

    // At exit: ViewStyle is written back only when the stored value is not 0;
    // with LastPath on, a local currentFolder becomes Path (in settings too).
    void saveOnExit(Settings &settings, const QString &currentFolder);

private:
    bool check(bool written);

    ProfileFiles &m_profiles;
    QString m_path;
    ErrorHandler m_onError;
    QString m_errorText = QStringLiteral("Unable to write to %1");
};

// The start-up reading of the settings: the work folder TempDir is made
// first (into *tempDir), then the file is created when missing and read.
// After a failed write the values in memory are used.
Settings LoadSettings(SettingsFile &file, SystemPaths &paths, QString *tempDir);

} // namespace vexo
