#include "platform/LibVDiskLibrary.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QtEndian>

#include <VexoVDisk.h>

#include <cstring>

namespace vexo
{

namespace
{

// Fills `record` from the library's 44-byte entry, reading its integers as
// the little-endian fields they are.
void decodeRecord(const VDiskFindRecord &raw, VDiskLibrary::FindRecord *record)
{
    unsigned char bytes[sizeof(VDiskFindRecord)];
    std::memcpy(bytes, &raw, sizeof bytes);
    qsizetype nameLength = 0;
    while (nameLength < VDISK_MAX_NAME && bytes[nameLength] != 0)
        ++nameLength;
    record->name = CodePage::fromCp936(QByteArray(reinterpret_cast<const char *>(bytes), nameLength));
    record->time = qFromLittleEndian<qint32>(bytes + 28);
    record->size = qFromLittleEndian<qint32>(bytes + 32);
}

int find(bool first, VDiskLibrary::FindRecord *record, int search)
{
    VDiskFindRecord raw;
    std::memset(&raw, 0, sizeof raw);
    const int result = first ? ::FindFirst(&raw, search) : ::FindNext(&raw, search);
    if (result != -1 && record)
        decodeRecord(raw, record);
    return result;
}

} // namespace

void LibVDiskLibrary::SetVdiskFile(const QString &path)
{
    ::SetVdiskFile(QFile::encodeName(path).constData());
}

int LibVDiskLibrary::InitFileSystem()
{
    return ::InitFileSystem();
}

int LibVDiskLibrary::FormatFileSystem()
{
    return ::FormatFileSystem();
}

void LibVDiskLibrary::DestoryFileSystem()
{
    ::DestoryFileSystem();
}

int LibVDiskLibrary::OpenFindFile(const QString &folder)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(folder, &ok);
    return ok ? ::OpenFindFile(bytes.constData()) : 0;
}

int LibVDiskLibrary::FindFirst(FindRecord *record, int search)
{
    return find(true, record, search);
}

int LibVDiskLibrary::FindNext(FindRecord *record, int search)
{
    return find(false, record, search);
}

int LibVDiskLibrary::zfopen(const QString &name, const char *mode)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(name, &ok);
    return ok ? ::zfopen(bytes.constData(), mode) : 0;
}

int LibVDiskLibrary::zfread(void *buffer, int size, int count, int file)
{
    return ::zfread(buffer, size, count, file);
}

int LibVDiskLibrary::zfwrite(const void *buffer, int size, int count, int file)
{
    return ::zfwrite(buffer, size, count, file);
}

int LibVDiskLibrary::zfclose(int file)
{
    return ::zfclose(file);
}

int LibVDiskLibrary::zflen(const QString &name)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(name, &ok);
    return ok ? ::zflen(bytes.constData()) : -1;
}

int LibVDiskLibrary::zffind(const QString &name)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(name, &ok);
    return ok ? ::zffind(bytes.constData()) : 0;
}

int LibVDiskLibrary::zfdelete(const QString &name)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(name, &ok);
    return ok ? ::zfdelete(bytes.constData()) : 0;
}

int LibVDiskLibrary::zrename(const QString &oldName, const QString &newName)
{
    bool oldOk = false;
    bool newOk = false;
    const QByteArray from = CodePage::toCp936(oldName, &oldOk);
    const QByteArray to = CodePage::toCp936(newName, &newOk);
    return oldOk && newOk ? ::zrename(from.constData(), to.constData()) : 0;
}

int LibVDiskLibrary::zsettime(const QString &name, qint32 time)
{
    bool ok = false;
    const QByteArray bytes = CodePage::toCp936(name, &ok);
    return ok ? ::zsettime(bytes.constData(), time) : 0;
}

int LibVDiskLibrary::zcheck()
{
    return ::zcheck();
}

int LibVDiskLibrary::zdiskspace(quint32 *freeClusters, quint32 *totalClusters, quint32 *clusterBytes)
{
    return ::zdiskspace(freeClusters, totalClusters, clusterBytes);
}

QString LibVDiskLibrary::busyText()
{
    char text[256];
    return ::zbusytext(text, sizeof text) > 0 ? QString::fromUtf8(text) : QString();
}

} // namespace vexo
