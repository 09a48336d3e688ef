#include "engine/LanguageTable.h"

#include "platform/ProfileFiles.h"

#include <QRegularExpression>

#include <algorithm>

namespace vexo
{

namespace
{

// The keys of the original table come first, in the order they are read.
constexpr int OriginalKeyCount = 56;

// Texts are found by section and key in any letter case.
QString idOf(const QString &section, const QString &key)
{
    return section.toLower() + u'/' + key.toLower();
}

QString findFile(ProfileFiles &profiles, const QStringList &folders, const QString &language)
{
    for (const QString &folder : folders) {
        if (profiles.exists(folder + language))
            return folder + language;
    }
    return QString();
}

// Old files carry no locale; the names the program has always shipped say it.
QString guessLocale(const QString &file)
{
    const QString base = file.section(u'.', 0, 0).toLower();
    if (base == QLatin1String("chs"))
        return QStringLiteral("zh_CN");
    if (base == QLatin1String("cht"))
        return QStringLiteral("zh_TW");
    if (base == QLatin1String("eng"))
        return QStringLiteral("en");
    return QString();
}

LanguageFileInfo infoOf(ProfileFiles &profiles, const QString &path, const QString &language)
{
    // Without the file every text is a built-in default: the toolkit stays
    // in its own English.
    LanguageFileInfo info{language, language, QString()};
    if (path.isEmpty())
        return info;
    info.locale = guessLocale(language);
    const QString section = QStringLiteral("Language");
    info.displayName = profiles.readString(path, section, QStringLiteral("Name"), QString());
    if (info.displayName.isEmpty())
        info.displayName = language;
    info.locale = profiles.readString(path, section, QStringLiteral("Locale"), info.locale);
    return info;
}

} // namespace

const QList<LanguageTable::Key> &LanguageTable::allKeys()
{
    static const QList<Key> all = {
        {"ToolBar", "FormatVDisk", "Format simulator disk"},
        {"ToolBar", "LinkVDisk", "Link simulator disk"},
        {"ToolBar", "LinkRpc", "Link palmtop disk"},
        {"ToolBar", "Delete", "Delete"},
        {"ToolBar", "Copy", "Copy"},
        {"ToolBar", "Patse", "Paste"},
        {"ToolBar", "Refresh", "Refresh"},
        {"ToolBar", "LargeIcon", "View as large icon"},
        {"ToolBar", "SmallIcon", "View as small icon"},
        {"ToolBar", "ListView", "View as list"},
        {"ToolBar", "DetailView", "View as detail"},
        {"ToolBar", "Setup", "Setup"},
        {"ToolBar", "Exit", "Exit"},
        {"StatusBar", "OpStatus", "Status"},
        {"StatusBar", "CopyRight", "Copyright (C) 2026 the VexoFileManager developers"},
        {"Msg", "MsgTitle", "Messagebox"},
        {"Msg", "MsgError", "Error"},
        {"Msg", "Containfile", "already contains."},
        {"Msg", "Foldername", "Folder name"},
        {"Msg", "YNFormatVDisk", "Would you like to format simulator disk?"},
        {"Msg", "Replacefile", "Replace file"},
        {"Msg", "YNReplacefile", "Would you like to replace this file?"},
        {"Msg", "Rename", "Rename"},
        {"Setup", "Option", "Option"},
        {"Setup", "LocalPath", "Local Path"},
        {"Setup", "DefaultPath", "Default Path"},
        {"Setup", "Browse", "Browse"},
        {"Setup", "Recordpath", "Record last path"},
        {"Setup", "GridLineView", "View as gridline"},
        {"Setup", "SaveView", "Save last view"},
        {"Setup", "AutoVDiskStartup", "Auto connect simulator disk at launch"},
        {"Setup", "RpcOption", "RPC Option"},
        {"Setup", "ComPort", "ComPort"},
        {"Setup", "Baudrate", "Baudrate"},
        {"Setup", "Compress", "Compress datagram"},
        {"Setup", "AutoRpcStartup", "Auto connect palmtop disk at launch"},
        {"Other", "CreateNewFolder", "Create NewFolder"},
        {"Other", "ToUpFolder", "Up Folder"},
        {"Other", "RpcPanel", "PalmTop Filelist"},
        {"Other", "VDiskPanel", "Simulator Disk Filelist"},
        {"Other", "Connecting", "Connecting..."},
        {"Other", "Connected", "Connected"},
        {"Other", "DisConnect", "DisConnect"},
        {"Other", "Init", "Initialize"},
        {"Other", "Filename", "Filename"},
        {"Other", "Size", "Size"},
        {"Other", "Date", "Date"},
        {"Other", "Fail", "Fail"},
        {"Other", "Success", "Success"},
        {"Other", "Copying", "Copying"},
        {"Other", "Ok", "Ok"},
        {"Other", "Cancel", "Cancel"},
        {"Other", "Yes", "Yes"},
        {"Other", "No", "No"},
        {"Other", "YesAll", "YesAll"},
        {"Other", "NoAll", "NoAll"},
        {"Other", "LinkReconnecting", "Reconnecting..."},
        {"Other", "FreeSpace", "(%1 free of %2)"},
        // Window and dialog texts that the original table did not hold.
        {"Window", "Computer", "Computer"},
        {"Window", "UpFolder", "Up one level"},
        {"Window", "NewFolder", "New folder"},
        {"Window", "Language", "Language:"},
        {"Window", "BrowseFolder", "Choose the start folder:"},
        {"Window", "CopyTitle", "Copying Files"},
        {"Window", "Finish", "Finish..."},
        {"Window", "Stop", "Stop..."},
        {"Window", "Deleting", "Deleting %1 files..."},
        {"Window", "Reconnecting", "Reconnecting… %1 s"},
        {"Window", "ReconnectWait", "Wait for a lost link (s):"},
        // The progress window's counts.
        {"Window", "FileNumber", "File %1 of %2"},
        {"Window", "ProgressRun", "All: %1"},
        {"Window", "ProgressOf", "%1 of %2"},
        {"Window", "ProgressSpeed", "%1/s"},
        {"Window", "ProgressLeft", "%1 left"},
        {"Window", "SizeBytes", "%1 B"},
        {"Window", "SizeKB", "%1 KB"},
        {"Window", "SizeMB", "%1 MB"},
        {"Window", "SizeGB", "%1 GB"},
        {"Window", "Seconds", "%1 s"},
        {"Window", "MinutesSeconds", "%1 min %2 s"},
        {"Window", "HoursMinutes", "%1 h %2 min"},
        {"Window", "ReplaceTitle", "Replace File"},
        {"Window", "ReplaceLine", "%1 already exists.", "%1, {Msg/Containfile}"},
        {"Window", "RenamePrompt", "New file name:"},
        {"Window", "FileFacts", "%1 bytes, %2"},
        {"Window", "Newer", "%1 (newer)"},
        {"Window", "ExistingFile", "Existing file: %1"},
        {"Window", "IncomingFile", "Replace with: %1"},
        {"Window", "InputOk", "OK"},
        {"Window", "InputCancel", "Cancel"},
        // Message boxes. The Chinese ones are the program's fixed texts.
        {"Message", "PromptTitle", "系统提示"},
        {"Message", "ErrorTitle", "错误"},
        {"Message", "WarningTitle", "警告"},
        {"Message", "DeleteLocal", "确定要删除 目录/文件 吗？    "},
        {"Message", "DeleteFiles", "确定要删除文件吗？    "},
        {"Message", "DeleteOne", "Delete %1?"},
        {"Message", "FormatImage", "The image %1 holds %2 file(s); all of them will be erased."},
        {"Message", "DeleteCount", "Delete these %1 files?"},
        {"Message", "NotAllowed", "操作不被允许!  "},
        {"Message", "NoFolderCopy", "不支持对设备进行目录拷贝   "},
        {"Message", "CopyFailed", "拷贝文件失败,可能是文件被占用!  "},
        {"Message", "NameTooLong", "文件名长度不能大于16字节"},
        {"Message", "NoInstallPath", "系统没有检测到VexoTools安装目录！ \u3000"},
        {"Message", "ReplaceQuestion", "%1 already exists. Do you want to replace it?",
         "%1{Msg/Containfile}{Msg/YNReplacefile}"},
        {"Message", "NewFolderFailed", "The folder could not be created.",
         "{Other/CreateNewFolder}{Other/Fail}"},
        {"Message", "WriteFailed", "Unable to write to %1"},
        {"Message", "NotCopied", "These files were not copied:"},
        {"Message", "FailureLine", "%1: %2"},
        {"Message", "OtherPalmtop",
         "another palmtop answered on %1; %2 files were copied to the first one, %3 were not copied"},
        {"Message", "MoreFailures", "... and %1 more"},
        {"Message", "NoSpaceImage", "Not enough space on the simulator disk: %1 needed, %2 free."},
        {"Message", "NoSpaceDevice", "Not enough space on the palmtop: %1 needed, %2 free."},
        {"Message", "FoldersSkipped", "Only files are copied. These folders were skipped:"},
        // The status line and the pane captions.
        {"Status", "InitFailed", "Starting failed", "{Other/Init}{Other/Fail}"},
        {"Status", "ImageDamaged", "the image is damaged: run check"},
        {"Status", "CopyDone", "Copy complete", "{ToolBar/Copy}{Other/Success}"},
        {"Status", "CopyingFile", "Copying %1...", "{Other/Copying}...%1"},
        {"Status", "NoAnswer", "The device on %1 does not answer"},
        {"Status", "CannotOpen", "Cannot open %1: %2"},
        {"Status", "NotSerial", "not a serial device"},
        {"Status", "JoinGroup", " (join the %1 group)"},
        {"Status", "CannotMount", "Cannot mount %1: %2"},
        {"Status", "NotFat", "not a FAT disk image"},
        {"Status", "BadFat", "the FAT disk image is damaged or not FAT12/FAT16"},
        // Why a command did nothing.
        {"Status", "NoSuchFolder", "Folder not found: %1"},
        {"Status", "LinkLost", "Lost the connection to the palmtop: %1"},
        {"Status", "LinkTimedOut", "the device does not answer"},
        {"Status", "LinkClosed", "the connection was closed"},
        {"Status", "PasteNoDevice", "Cannot paste: the palmtop is not connected"},
        {"Status", "PasteNoImage", "Cannot paste: the simulator disk is not mounted"},
        {"Status", "PasteNothing", "Cannot paste: there are no files on the clipboard"},
        {"Status", "RenameTooLong", "Cannot rename to %1: the name is longer than %2 bytes"},
        {"Status", "RenameTaken", "Cannot rename to %1: a file of that name exists"},
        {"Status", "RenameBadName", "Cannot rename to %1: the name holds characters that are not allowed"},
        {"Status", "RenameRefused", "Cannot rename to %1"},
        {"Status", "NoProgram", "No program can open %1"},
        {"Status", "FormatFailed", "Formatting failed"},
        // Why something failed, as the status line and the copy summary say it.
        {"Error", "NotFound", "does not exist"},
        {"Error", "NoPermission", "permission denied"},
        {"Error", "Busy", "in use by another program"},
        {"Error", "NoDevice", "device not connected"},
        {"Error", "IsFolder", "is a folder"},
        {"Error", "NotFolder", "part of the path is not a folder"},
        {"Error", "LinkLoop", "too many symbolic links (a link may point to itself)"},
        {"Error", "IoError", "input/output error"},
        {"Error", "ReadOnly", "read-only file system"},
        {"Error", "PathTooLong", "path too long"},
        {"Error", "TooManyFiles", "too many open files"},
        {"Error", "SystemError", "system error %1"},
        {"Error", "NoResponse", "the device does not respond"},
        {"Error", "FileMissing", "the file does not exist"},
        {"Error", "NameRefused", "the file name was refused"},
        {"Error", "TargetExists", "the destination file already exists"},
        {"Error", "Stopped", "stopped"},
        {"Error", "TransferFailed", "transfer failed"},
        {"Error", "LocalIo", "could not read or write the file on the PC"},
        {"Error", "DeviceIo", "could not read or write the file on the device"},
        {"Error", "LinkError", "communication error (%1)"},
        {"Error", "NoSpace", "not enough space on the device"},
        {"Error", "OtherDevice", "another palmtop answered"},
        {"Error", "NameTooLong", "the name is longer than %1 bytes"},
        // The context menus' own entries; the others share the toolbar's texts.
        {"Menu", "Open", "Open"},
        {"Menu", "Paste", "Paste"},
        {"Menu", "SelectAll", "Select all"},
        {"Menu", "UnlinkRpc", "Disconnect palmtop"},
        {"Menu", "UnlinkVDisk", "Disconnect simulator disk"},
        // The Synchronize command and its preview.
        {"Sync", "Synchronize", "Synchronize"},
        {"Sync", "Direction", "Direction"},
        {"Sync", "ToPalmtop", "To the palmtop"},
        {"Sync", "ToImage", "To the simulator disk"},
        {"Sync", "ToPc", "To the PC"},
        {"Sync", "BothWays", "Both ways"},
        {"Sync", "DeleteGone", "Also delete files that were deleted on one side"},
        {"Sync", "Start", "Start"},
        {"Sync", "Name", "Name"},
        {"Sync", "Action", "Action"},
        {"Sync", "Pc", "PC"},
        {"Sync", "Palmtop", "Palmtop"},
        {"Sync", "Image", "Simulator disk"},
        {"Sync", "Note", "Note"},
        {"Sync", "Send", "Send"},
        {"Sync", "Receive", "Receive"},
        {"Sync", "Equal", "Skip: equal"},
        {"Sync", "Keep", "Keep"},
        {"Sync", "Conflict", "Conflict"},
        {"Sync", "DeleteLocal", "Delete from the PC"},
        {"Sync", "DeleteRemote", "Delete from %1"},
        {"Sync", "OnlyHere", "Only on the PC"},
        {"Sync", "OnlyThere", "Only on %1"},
        {"Sync", "NewerHere", "Newer on the PC"},
        {"Sync", "NewerThere", "Newer on %1"},
        {"Sync", "SameFile", "Same size and content"},
        {"Sync", "BothChanged", "Changed on both sides"},
        {"Sync", "NameTooLong", "Name longer than %1 bytes"},
        {"Sync", "NameInvalid", "Name not possible on %1"},
        {"Sync", "CaseConflict", "Names differ only in case"},
        {"Sync", "ChangedHere", "Changed on the PC since the last synchronization"},
        {"Sync", "ChangedThere", "Changed on %1 since the last synchronization"},
        {"Sync", "GoneHere", "Deleted from the PC since the last synchronization"},
        {"Sync", "GoneThere", "Deleted from %1 since the last synchronization"},
        {"Sync", "Totals",
         "Send %1 files (%2 bytes), receive %3 files (%4 bytes), delete %5; %6 equal, %7 conflicts"},
        {"Sync", "Estimate", "About %1 s at %2 baud"},
        {"Sync", "EstimateUsb", "About %1 s over USB"},
        {"Sync", "NoFolder", "The local pane shows no folder of this PC."},
        {"Sync", "NoOtherSide", "Connect the palmtop or the simulator disk first."},
        {"Sync", "ListFailed", "The file list of the other side could not be read."},
        {"Sync", "ThePalmtop", "the palmtop"},
        {"Sync", "TheImage", "the simulator disk"},
        {"Sync", "ThePc", "the PC"},
        {"Sync", "DeleteHeading", "To be deleted from %1"},
        {"Sync", "OtherHeading", "Other files"},
        {"Sync", "Skip", "Skip (conflict)"},
        {"Sync", "ConfirmDelete", "%1 files will be deleted from the PC and %2 from %3. Delete them?"},
        {"Sync", "NoRecord",
         "No earlier synchronization of this folder is recorded: the newer file wins, and deletions go one "
         "way only."},
        {"Sync", "RecordDamaged",
         "The record of the last synchronization was damaged and is set aside as %1; the newer file wins."},
    };
    return all;
}

const QList<LanguageTable::Key> &LanguageTable::keys()
{
    static const QList<Key> original = allKeys().mid(0, OriginalKeyCount);
    return original;
}

const QList<LanguageTable::Key> &LanguageTable::addedKeys()
{
    static const QList<Key> added = allKeys().mid(OriginalKeyCount);
    return added;
}

LanguageTable::LanguageTable()
{
    for (const Key &k : allKeys())
        set(QLatin1String(k.section), QLatin1String(k.key), QString::fromUtf8(k.def));
}

QString LanguageTable::text(const QString &section, const QString &key) const
{
    return m_texts.value(idOf(section, key));
}

void LanguageTable::set(const QString &section, const QString &key, const QString &value)
{
    m_texts.insert(idOf(section, key), value);
}

LanguageTable LoadLanguage(ProfileFiles &profiles, const QStringList &folders, const QString &language)
{
    LanguageTable table;
    const QString file = findFile(profiles, folders, language);
    const LanguageFileInfo info = infoOf(profiles, file, language);
    table.displayName = info.displayName;
    table.locale = info.locale;
    if (file.isEmpty())
        return table;
    // A value that cannot come from the file: tells a missing key from an empty one.
    const QString missing = QStringLiteral("\x01");
    QSet<QString> given;
    for (const LanguageTable::Key &k : LanguageTable::allKeys()) {
        const QString section = QLatin1String(k.section);
        const QString key = QLatin1String(k.key);
        const QString value = profiles.readString(file, section, key, missing);
        if (value == missing)
            continue;
        table.set(section, key, value);
        given.insert(idOf(section, key));
    }
    static const QRegularExpression part(QStringLiteral("\\{(\\w+)/(\\w+)\\}"));
    for (const LanguageTable::Key &k : LanguageTable::addedKeys()) {
        const QString section = QLatin1String(k.section);
        const QString key = QLatin1String(k.key);
        if (!k.parts || given.contains(idOf(section, key)))
            continue;
        const QString pattern = QLatin1String(k.parts);
        QString phrase;
        bool fromFile = false;
        qsizetype at = 0;
        for (auto it = part.globalMatch(pattern); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            fromFile = fromFile || given.contains(idOf(m.captured(1), m.captured(2)));
            phrase += pattern.mid(at, m.capturedStart() - at) + table.text(m.captured(1), m.captured(2));
            at = m.capturedEnd();
        }
        if (fromFile)
            table.set(section, key, phrase + pattern.mid(at));
    }
    return table;
}

LanguageFileInfo ReadLanguageFileInfo(ProfileFiles &profiles, const QStringList &folders,
                                      const QString &language)
{
    return infoOf(profiles, findFile(profiles, folders, language), language);
}

QList<LanguageFileInfo> FindLanguageFiles(ProfileFiles &profiles, const QStringList &folders)
{
    QList<LanguageFileInfo> found;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        for (const QString &name : profiles.filesIn(folder, QStringLiteral(".lng"))) {
            if (seen.contains(name))
                continue;
            seen.insert(name);
            found << infoOf(profiles, folder + name, name);
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const LanguageFileInfo &a, const LanguageFileInfo &b) {
        return a.displayName.compare(b.displayName, Qt::CaseInsensitive) < 0;
    });
    return found;
}

QString Filled(const QString &pattern, const QStringList &args)
{
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'%' && i + 1 < pattern.size() && pattern.at(i + 1).isDigit()) {
            const int n = pattern.at(i + 1).digitValue();
            if (n >= 1 && n <= args.size()) {
                out += args.at(n - 1);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString WithAccelerator(const QString &text, QChar letter)
{
    if (text.contains(u'&'))
        return text;
    const bool latin = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x250; });
    const qsizetype at = text.indexOf(letter, 0, Qt::CaseInsensitive);
    if (latin && at >= 0)
        return text.left(at) + u'&' + text.mid(at);
    return text + QStringLiteral("(&") + letter.toUpper() + u')';
}

} // namespace vexo
