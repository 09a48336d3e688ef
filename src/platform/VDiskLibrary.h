#pragma once

#include <QString>

namespace vexo
{

// The disk-image library, one method per C function, with the same arguments
// and results. Names are converted to and from CP936 here; a name with no
// CP936 form fails like a refused name.
class VDiskLibrary
{
public:
    // One listed image file.
    struct FindRecord {
        QString name;    // up to the first NUL of the 17-byte field
        qint32 time = 0; // seconds since 1970-01-01 00:00
        qint32 size = 0;
    };

    virtual ~VDiskLibrary() = default;

    virtual void SetVdiskFile(const QString &path) = 0;
    virtual int InitFileSystem() = 0;
    virtual int FormatFileSystem() = 0;
    virtual void DestoryFileSystem() = 0;
    virtual int OpenFindFile(const QString &folder) = 0;
    virtual int FindFirst(FindRecord *record, int search) = 0;
    virtual int FindNext(FindRecord *record, int search) = 0;
    virtual int zfopen(const QString &name, const char *mode) = 0;
    virtual int zfread(void *buffer, int size, int count, int file) = 0;
    virtual int zfwrite(const void *buffer, int size, int count, int file) = 0;
    virtual int zfclose(int file) = 0;
    virtual int zflen(const QString &name) = 0;
    virtual int zffind(const QString &name) = 0;
    virtual int zfdelete(const QString &name) = 0;
    virtual int zrename(const QString &oldName, const QString &newName) = 0;
    // Newer calls, with the result a library without them would give.
    virtual int zsettime(const QString &name, qint32 time)
    {
        Q_UNUSED(name);
        Q_UNUSED(time);
        return 0;
    }
    virtual int zdiskspace(quint32 *freeClusters, quint32 *totalClusters, quint32 *clusterBytes)
    {
        Q_UNUSED(freeClusters);
        Q_UNUSED(totalClusters);
        Q_UNUSED(clusterBytes);
        return -1;
    }
    // Problems the image's consistency check finds (0 none, -1 not mounted).
    virtual int zcheck() { return 0; }
    // Why this thread's calls were refused since its last success because
    // another program has the image ("the image is in use by PROGRAM (pid
    // N)", "... close the simulator first"); empty when none was.
    virtual QString busyText() { return QString(); }
};

} // namespace vexo
