#include "engine/SyncSources.h"

#include "engine/DeviceAccess.h"
#include "engine/ImageTime.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/VDiskLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <algorithm>

namespace vexo
{

namespace
{

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

bool ListLocalSyncFiles(const QString &folder, std::vector<SyncFile> &files)
{
    files.clear();
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable())
        return false;
    const auto entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : entries) {
        const QString name = info.fileName();
        if (info.isSymLink() || !info.isFile() ||
            (name.startsWith(u'.') && name.contains(QLatin1String(".vexo-"))))
            continue;
        files.push_back(SyncFile{utf8(name), static_cast<uint64_t>(info.size()),
                                 info.lastModified().toMSecsSinceEpoch()});
    }
    return true;
}

bool ListDeviceSyncFiles(const DeviceAccess &device, std::vector<SyncFile> &files)
{
    files.clear();
    return device
        .listFiles([&files](const DeviceFile &file) {
            if (IsSafeBareName(file.name) && file.size >= 0)
                files.push_back(SyncFile{utf8(file.name), static_cast<uint64_t>(file.size), file.time});
            return true;
        })
        .ok();
}

bool ListVDiskSyncFiles(VDiskLibrary &library, std::vector<SyncFile> &files)
{
    files.clear();
    const int search = library.OpenFindFile(QStringLiteral("/"));
    VDiskLibrary::FindRecord record;
    for (int found = library.FindFirst(&record, search); found != -1;
         found = library.FindNext(&record, search)) {
        if (IsSafeBareName(record.name) && record.size >= 0)
            // The image keeps wall-clock time; the other sides UTC.
            files.push_back(SyncFile{utf8(record.name), static_cast<uint64_t>(record.size),
                                     UtcMsFromImageTime(record.time)});
    }
    return true;
}

int Cp936NameBytes(const std::string &name)
{
    const QString text = fromUtf8(name);
    if (text.isEmpty() || text == QLatin1String(".") || text == QLatin1String("..") || text.contains(u'\\') ||
        text.contains(u'/'))
        return -1;
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return -1;
    return CodePage::cp936Length(text);
}

bool LocalFileCrc(const QString &path, quint32 &crc)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    uLong value = crc32(0L, Z_NULL, 0);
    QByteArray piece;
    do {
        piece = file.read(64 * 1024);
        value =
            crc32(value, reinterpret_cast<const Bytef *>(piece.constData()), static_cast<uInt>(piece.size()));
    } while (!piece.isEmpty());
    if (file.error() != QFileDevice::NoError)
        return false;
    crc = static_cast<quint32>(value);
    return true;
}

bool VDiskFileCrc(VDiskLibrary &library, const QString &name, quint32 &crc)
{
    const int length = library.zflen(name);
    if (length < 0)
        return false;
    const int file = library.zfopen(name, "r");
    if (file == 0)
        return false;
    uLong value = crc32(0L, Z_NULL, 0);
    char piece[1024];
    bool ok = true;
    for (int left = length; ok && left > 0;) {
        const int n = std::min<int>(left, sizeof piece);
        ok = library.zfread(piece, n, 1, file) == n;
        if (ok)
            value = crc32(value, reinterpret_cast<const Bytef *>(piece), static_cast<uInt>(n));
        left -= n;
    }
    library.zfclose(file);
    crc = static_cast<quint32>(value);
    return ok;
}

ContentProbe DeviceContentProbe(const DeviceAccess &device, const QString &folder)
{
    return [&device, folder](const SyncFile &local, const SyncFile &remote) {
        quint32 mine = 0, theirs = 0;
        if (!LocalFileCrc(JoinPath(folder, fromUtf8(local.name)), mine) ||
            !device.checksum(fromUtf8(remote.name), &theirs).ok())
            return ContentMatch::Unknown;
        return mine == theirs ? ContentMatch::Same : ContentMatch::Different;
    };
}

ContentProbe VDiskContentProbe(VDiskLibrary &library, const QString &folder)
{
    return [&library, folder](const SyncFile &local, const SyncFile &remote) {
        quint32 mine = 0, theirs = 0;
        if (!LocalFileCrc(JoinPath(folder, fromUtf8(local.name)), mine) ||
            !VDiskFileCrc(library, fromUtf8(remote.name), theirs))
            return ContentMatch::Unknown;
        return mine == theirs ? ContentMatch::Same : ContentMatch::Different;
    };
}

namespace
{

std::string crcHash(quint32 crc)
{
    return QStringLiteral("crc32:%1").arg(crc, 8, 16, QLatin1Char('0')).toStdString();
}

} // namespace

std::string LocalSyncHash(const QString &path)
{
    quint32 crc = 0;
    return LocalFileCrc(path, crc) ? crcHash(crc) : std::string();
}

SideHash DeviceSideHash(const DeviceAccess &device, const QString &folder)
{
    return [&device, folder](bool local, const SyncFile &file) {
        if (local)
            return LocalSyncHash(JoinPath(folder, fromUtf8(file.name)));
        quint32 crc = 0;
        return device.checksum(fromUtf8(file.name), &crc).ok() ? crcHash(crc) : std::string();
    };
}

SideHash VDiskSideHash(VDiskLibrary &library, const QString &folder)
{
    return [&library, folder](bool local, const SyncFile &file) {
        if (local)
            return LocalSyncHash(JoinPath(folder, fromUtf8(file.name)));
        quint32 crc = 0;
        return VDiskFileCrc(library, fromUtf8(file.name), crc) ? crcHash(crc) : std::string();
    };
}

} // namespace vexo
