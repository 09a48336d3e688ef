#include "engine/VDiskCopy.h"

#include "engine/FileFacts.h"
#include "engine/ImageAccess.h"
#include "engine/ImageTime.h"
#include "engine/LanguageTable.h"
#include "engine/common.h"
#include "platform/Prompter.h"
#include "platform/VDiskLibrary.h"
#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"
#include "vexo/sys/UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

bool isLocalPath(const QString &text)
{
    return text.startsWith(u'/');
}

// Reads until `size` bytes are in or the file ends; -1 on a read error.
qsizetype readPiece(int fd, char *buffer, qsizetype size)
{
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(size - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

int copyIntoImage(VDiskLibrary &library, const QString &source, const QString &destination)
{
    // O_NONBLOCK keeps a FIFO from stalling the open; it is refused below.
    const sys::UniqueFd fd(
        ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd)
        return 0;
    struct stat st {
    };
    char buffer[VDiskCopyPiece];
    qsizetype n = -1;
    // The first piece is read before the image is touched, so a source that
    // cannot be read costs the image nothing.
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode))
        n = readPiece(fd.get(), buffer, VDiskCopyPiece);
    const int file = n < 0 ? 0 : library.zfopen(destination, "w+");
    if (file == 0)
        return 0;
    bool readOk = true;
    for (;;) {
        // The last piece is written even when empty.
        if (library.zfwrite(buffer, static_cast<int>(n), 1, file) < 0)
            break; // the new contents are void; zfclose reports it
        if (n < VDiskCopyPiece)
            break;
        n = readPiece(fd.get(), buffer, VDiskCopyPiece);
        if (n < 0) {
            readOk = false;
            // A refused write voids the new contents, so zfclose keeps the
            // older file.
            library.zfwrite(buffer, -1, 1, file);
            break;
        }
    }
    const bool completed = library.zfclose(file) == 0;
    if (!readOk && completed)
        library.zfdelete(destination); // never leave a truncated copy behind
    if (!readOk || !completed)
        return 0;
    // The copy keeps the source's time; an older library without the call
    // leaves the time of the write, which is no reason to fail the copy.
    library.zsettime(destination,
                     ImageTimeFromUtcMs(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000));
    return 1;
}

// Whether an existing PC file may be replaced by a copy.
bool mayReplace(const QByteArray &path, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return false;
    if (st.st_mode & S_IWUSR)
        return ::access(path.constData(), W_OK) == 0;
    // Read-only: only a plain one of the user's own, which he could make
    // writable himself.
    return st.st_uid == ::geteuid() && (st.st_mode & (S_ISUID | S_ISGID | S_ISVTX)) == 0;
}

// Writes `length` bytes of the open image file to a temporary file and puts
// it in place of the destination.
bool receive(VDiskLibrary &library, int file, int length, const QString &folder, const QString &name,
             const qint64 *mtimeMs)
{
    const QByteArray target = QFile::encodeName(folder + name);
    struct stat old {
    };
    const bool replacing = ::lstat(target.constData(), &old) == 0;
    if (replacing ? !mayReplace(target, old) : errno != ENOENT)
        return false;
    sys::AtomicFile copy;
    if (copy.open(target.toStdString(), ".part-") != 0)
        return false;
    const int fd = copy.fd();
    char buffer[VDiskCopyPiece];
    int left = length;
    bool ok = true;
    // An empty file still takes one (empty) read.
    do {
        const int n = qMin(VDiskCopyPiece, left);
        ok = library.zfread(buffer, n, 1, file) == n && sys::writeAll(fd, buffer, static_cast<size_t>(n));
        left -= n;
    } while (ok && left > 0);
    if (ok && replacing) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && ::geteuid() == 0)
            (void)::fchown(fd, old.st_uid, old.st_gid);
        ok = ok && ::fsync(fd) == 0;
    }
    if (ok && mtimeMs)
        sys::setFileTime(fd, *mtimeMs);
    return ok && copy.commit(sys::Placement::Replace) == 0;
}

int copyOutOfImage(VDiskLibrary &library, const QString &source, const QString &destination)
{
    const QString folder = PathFolderPart(destination);
    const QString name = PathFileName(destination);
    if (!IsSafeBareName(name))
        return 0;
    const int length = library.zflen(source);
    if (length < 0)
        return 0;
    const FileFacts facts = ImageFileFacts(library, source);
    const int file = library.zfopen(source, "r");
    if (file == 0)
        return 0;
    const bool ok = receive(library, file, length, folder, name, facts.known ? &facts.modifiedMs : nullptr);
    library.zfclose(file);
    return ok ? 1 : 0;
}

} // namespace

int CopyVDiskFile(VDiskLibrary &library, const QString &source, const QString &destination, bool overwrite)
{
    if (library.zffind(destination) == 1 && !overwrite)
        return 0;
    if (isLocalPath(source))
        return copyIntoImage(library, source, destination);
    if (!isLocalPath(destination) || (!overwrite && CopyTargetExists(library, destination)))
        return 0;
    return copyOutOfImage(library, source, destination);
}

bool CopyTargetExists(VDiskLibrary &library, const QString &path)
{
    if (!isLocalPath(path))
        return library.zffind(path) == 1;
    struct stat st {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

void ShowCopyFailed(Prompter &prompter, const LanguageTable &language, const QString &reason)
{
    prompter.ask(reason.isEmpty() ? language.message(QStringLiteral("CopyFailed")) : reason,
                 language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok, PromptIcon::Error);
}

QString ImageCopyFailureReason(const ImageAccess &image, const LanguageTable &language)
{
    QString reason = image.library() ? image.library()->busyText() : QString();
    // A damaged chain is the likelier cause than a file in use.
    if (reason.isEmpty() && image.damaged())
        reason = language.status(QStringLiteral("ImageDamaged"));
    return reason;
}

} // namespace vexo
