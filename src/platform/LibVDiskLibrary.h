#pragma once

#include "platform/VDiskLibrary.h"

namespace vexo
{

// The disk-image library of libs/vdiskfs. Image file names go to the library
// as CP936 bytes; a name with no CP936 form is refused without calling it
// (zfopen, zffind and zfdelete give 0, zflen -1, zrename 0). The image path
// is a local path and goes in the file system's own encoding.
//
// The library is one per process and serialises its calls itself, so any
// number of these objects may be used from any thread.
class LibVDiskLibrary : public VDiskLibrary
{
public:
    void SetVdiskFile(const QString &path) override;
    int InitFileSystem() override;
    int FormatFileSystem() override;
    void DestoryFileSystem() override;
    int OpenFindFile(const QString &folder) override;
    int FindFirst(FindRecord *record, int search) override;
    int FindNext(FindRecord *record, int search) override;
    int zfopen(const QString &name, const char *mode) override;
    int zfread(void *buffer, int size, int count, int file) override;
    int zfwrite(const void *buffer, int size, int count, int file) override;
    int zfclose(int file) override;
    int zflen(const QString &name) override;
    int zffind(const QString &name) override;
    int zfdelete(const QString &name) override;
    int zrename(const QString &oldName, const QString &newName) override;
    int zsettime(const QString &name, qint32 time) override;
    int zcheck() override;
    int zdiskspace(quint32 *freeClusters, quint32 *totalClusters, quint32 *clusterBytes) override;
    QString busyText() override;
};

} // namespace vexo
