#include "app/LanguageTable.h"

#include "platform/ProfileFiles.h"

namespace vexo
{

const QList<LanguageTable::Key> &LanguageTable::keys()
{
    static const QList<Key> all = {
        {"ToolBar", "FormatVDisk", "Format simulator disk"},
        {"ToolBar", "LinkVDisk", "Link simulator disk"},
        {"ToolBar", "LinkRpc", "Link palmtop disk"},
        {"ToolBar", "Delete", "Delete"},
        {"ToolBar", "Copy", "Copy"},
        {"ToolBar", "Patse", "Patse"},
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
        {"Setup", "AutoVDiskStartup", "Auto connect simulator disk while lunch"},
        {"Setup", "RpcOption", "RPC Option"},
        {"Setup", "ComPort", "ComPort"},
        {"Setup", "Baudrate", "Baudrate"},
        {"Setup", "Compress", "Compress datagram"},
        {"Setup", "AutoRpcStartup", "Auto connect palmtop disk while lunch"},
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
    };
    return all;
}

const QList<LanguageTable::Key> &LanguageTable::addedKeys()
{
    static const QList<Key> all = {
        {"Sync", "Synchronize", "Synchronize"},
        {"Sync", "Direction", "Direction"},
        {"Sync", "ToPalmtop", "To the palmtop"},
        {"Sync", "ToImage", "To the simulator disk"},
        {"Sync", "ToPc", "To the PC"},
        {"Sync", "BothWays", "Both ways (newer wins)"},
        {"Sync", "DeleteGone", "Delete files that are gone on the other side"},
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
        {"Sync", "DeleteLocal", "Delete on the PC"},
        {"Sync", "DeleteRemote", "Delete on the other side"},
        {"Sync", "OnlyHere", "Only on the PC"},
        {"Sync", "OnlyThere", "Only on the other side"},
        {"Sync", "NewerHere", "Newer on the PC"},
        {"Sync", "NewerThere", "Newer on the other side"},
        {"Sync", "SameFile", "Same size and content"},
        {"Sync", "BothChanged", "Changed on both sides"},
        {"Sync", "NameTooLong", "Name longer than %1 bytes"},
        {"Sync", "NameInvalid", "Name not possible on the other side"},
        {"Sync", "CaseConflict", "Names differ only in case"},
        {"Sync", "Totals",
         "Send %1 files (%2 bytes), receive %3 files (%4 bytes), delete %5; %6 equal, %7 conflicts"},
        {"Sync", "Estimate", "About %1 s at %2 baud"},
        {"Sync", "EstimateUsb", "About %1 s over USB"},
        {"Sync", "NoFolder", "The local pane shows no folder of this PC."},
        {"Sync", "NoOtherSide", "Connect the palmtop or the simulator disk first."},
        {"Sync", "ListFailed", "The file list of the other side could not be read."},
    };
    return all;
}

LanguageTable::LanguageTable()
{
    for (const auto *list : {&keys(), &addedKeys()})
        for (const Key &k : *list)
            set(QLatin1String(k.section), QLatin1String(k.key), QLatin1String(k.english));
}

QString LanguageTable::id(const QString &section, const QString &key)
{
    return section.toLower() + u'/' + key.toLower();
}

QString LanguageTable::text(const QString &section, const QString &key) const
{
    return m_texts.value(id(section, key));
}

void LanguageTable::set(const QString &section, const QString &key, const QString &value)
{
    m_texts.insert(id(section, key), value);
}

LanguageTable LoadLanguage(ProfileFiles &profiles, const QStringList &folders, const QString &language)
{
    LanguageTable table;
    QString file;
    for (const QString &folder : folders) {
        if (profiles.exists(folder + language)) {
            file = folder + language;
            break;
        }
    }
    if (file.isEmpty())
        return table;
    for (const auto *list : {&LanguageTable::keys(), &LanguageTable::addedKeys()}) {
        for (const LanguageTable::Key &k : *list) {
            const QString section = QLatin1String(k.section);
            const QString key = QLatin1String(k.key);
            table.set(section, key, profiles.readString(file, section, key, QLatin1String(k.english)));
        }
    }
    return table;
}

} // namespace vexo
