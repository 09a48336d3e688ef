/*
 * VexoVDisk: the palmtop simulator's disk image (a FAT12/FAT16 image file
 * with one flat root folder), reached through plain C calls.
 *
 * Names cross this interface as NUL-terminated CP936 (GBK) byte strings of
 * at most 17 bytes. Lookups ignore case; stored names keep it.
 *
 * One image is mounted at a time. Every call may be made from any thread:
 * the library serialises them. Every call is safe when nothing is mounted
 * (it then fails with its failure result).
 */
#ifndef VEXO_VDISK_H
#define VEXO_VDISK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define VEXO_VDISK_CALL __stdcall
#else
#define VEXO_VDISK_CALL
#endif

/* Longest file name in bytes (CP936), not counting the terminating NUL. */
#define VDISK_MAX_NAME 17

/*
 * One listed file, exactly 44 bytes, filled by FindFirst and FindNext.
 * Bytes the library does not define are set to zero.
 */
typedef struct VDiskFindRecord {
    /* Bytes 0-16: the file name (CP936), NUL-terminated when shorter than
     * 17 bytes; a 17-byte name fills the field and has no NUL. */
    char name[VDISK_MAX_NAME];
    /* Bytes 17-27: zero. */
    unsigned char reserved1[11];
    /* Bytes 28-31: the file's last write time as stored in the image,
     * counted in seconds since 1970-01-01 00:00 without any time-zone
     * conversion; signed, little-endian (a plain int32_t on the
     * little-endian hosts we build for). */
    int32_t time;
    /* Bytes 32-35: the file size in bytes; signed, little-endian. The
     * field as stored: a damaged entry's size above 2147483647 (which no
     * FAT12/FAT16 volume holds) comes out negative, never clamped. */
    int32_t size;
    /* Bytes 36-43: zero. */
    unsigned char reserved2[8];
} VDiskFindRecord;

#ifdef __cplusplus
static_assert(sizeof(VDiskFindRecord) == 44, "VDiskFindRecord must be 44 bytes");
static_assert(offsetof(VDiskFindRecord, time) == 28, "time at byte 28");
static_assert(offsetof(VDiskFindRecord, size) == 32, "size at byte 32");
#else
_Static_assert(sizeof(VDiskFindRecord) == 44, "VDiskFindRecord must be 44 bytes");
_Static_assert(offsetof(VDiskFindRecord, time) == 28, "time at byte 28");
_Static_assert(offsetof(VDiskFindRecord, size) == 32, "size at byte 32");
#endif

/* Names the image file used by the next InitFileSystem or FormatFileSystem
 * (a local path, copied). NULL or "" forgets the name. Does not mount. */
void VEXO_VDISK_CALL SetVdiskFile(const char *path);

/* Mounts the named image, unmounting any image mounted before. The boot
 * sector and FAT geometry are checked first. Returns 0 when mounted,
 * non-zero when no image is named, it cannot be opened, or it is not a
 * consistent FAT12/FAT16 image. */
int VEXO_VDISK_CALL InitFileSystem(void);

/* Formats the named image in place, keeping its size, or creates a 16 MiB
 * image when the file does not exist; the result is synced to the disk.
 * Open files of that image are dropped; when it was mounted it stays
 * mounted, now empty. Returns 0 when formatted, non-zero when no image is
 * named or it cannot be written or is too small (below 64 KiB) or too
 * large (2 GiB and more) for FAT12/FAT16. */
int VEXO_VDISK_CALL FormatFileSystem(void);

/* Unmounts: files still open for reading are closed, files still open for
 * writing are dropped (an older file of that name keeps its contents), and
 * all changes are synced to the disk. Harmless when nothing is mounted. */
void VEXO_VDISK_CALL DestoryFileSystem(void);

/* Starts a listing of the root folder ("/", "\" or ""). Returns a search
 * handle (> 0), or 0 when nothing is mounted or the folder is another one.
 * Searches need no closing; the library keeps the 16 most recent. */
int VEXO_VDISK_CALL OpenFindFile(const char *folder);

/* FindFirst fills the record with the first file of the search, FindNext
 * with the next one. Return 0 when a record was filled, -1 when there is no
 * (more) file, the handle is unknown or nothing is mounted. */
int VEXO_VDISK_CALL FindFirst(VDiskFindRecord *record, int search);
int VEXO_VDISK_CALL FindNext(VDiskFindRecord *record, int search);

/* Opens a file. Mode "r" reads an existing file whose cluster chain is
 * sound: its own (reached by no other entry), without loops or bad links,
 * and as long as its size needs. Mode "w+" (also "w", "wb", "w+b", "wb+")
 * writes a file from its start: a new file appears, and
 * an existing one is replaced, only at zfclose; until then its earlier
 * contents stay readable and intact. "w+" refuses empty names, names longer
 * than 17 bytes, names that are not valid CP936 and names holding "/", "\",
 * control characters or any of " * : < > ? | or ending in "." or " ", and
 * fails when the root folder is full, the name is already open for
 * writing, or an older file of that name has a chain that is not sound.
 * New data only goes to clusters that no chain reaches. Returns a file
 * handle (> 0), or 0 on failure. */
int VEXO_VDISK_CALL zfopen(const char *name, const char *mode);

/* Reads size * count bytes into buffer from a file opened with "r".
 * Returns the number of bytes read (less at the end of the file, 0 there),
 * or -1 on a bad handle, bad arguments or a damaged cluster chain. Pieces
 * of any length are accepted. */
int VEXO_VDISK_CALL zfread(void *buffer, int size, int count, int file);

/* Appends size * count bytes from buffer to a file opened with "w+".
 * Returns the number of bytes taken, or -1 on a bad handle, bad arguments,
 * a full disk or a write error; after a failure the file's new contents are
 * void and zfclose reports the failure. Pieces of any length are accepted. */
int VEXO_VDISK_CALL zfwrite(const void *buffer, int size, int count, int file);

/* Closes a file. For "w+" this completes the file: its data, then the
 * FAT, then its directory entry are handed to the operating system (not
 * synced to the disk), and an older file of that name is replaced. Returns
 * 0 on success, -1 on a bad handle or when the new contents could not be
 * completed (the older file then keeps its contents). */
int VEXO_VDISK_CALL zfclose(int file);

/* Length of a file in bytes, or -1 when it does not exist, its size field
 * is damaged (above 2147483647) or nothing is mounted. */
int VEXO_VDISK_CALL zflen(const char *name);

/* 1 when the file exists, 0 otherwise. */
int VEXO_VDISK_CALL zffind(const char *name);

/* Deletes a file. Returns 1 when deleted, 0 when it does not exist, is
 * being written, its chain is not sound (see zfopen "r"; freeing it could
 * free another file's clusters), or nothing is mounted. A failed call
 * changes nothing, here as in zfclose and zrename, also on an I/O error. A reader that has it open keeps
 * reading the old contents. */
int VEXO_VDISK_CALL zfdelete(const char *name);

/* Renames a file; a change of case only is allowed. Returns 1 on success,
 * 0 when the old name does not exist, the new name is refused (same rules
 * as zfopen "w+") or belongs to another file, either name is being written,
 * the root folder is full, or nothing is mounted. */
int VEXO_VDISK_CALL zrename(const char *oldName, const char *newName);

/* Sets a file's last write time, in the unit FindFirst lists it (seconds
 * since 1970-01-01 00:00 of the wall clock, no time-zone conversion). The
 * image keeps even seconds only: an odd second is rounded down, as every
 * write time the image stores is. Returns 1 when set, 0 when the file does
 * not exist, is being written, or nothing is mounted. */
int VEXO_VDISK_CALL zsettime(const char *name, int32_t time);

/* The mounted image's clusters: free ones, all of them, and the bytes one
 * holds. Every file takes whole clusters (an empty file none). Returns 0
 * with the three set, -1 when nothing is mounted or a pointer is NULL. */
int VEXO_VDISK_CALL zdiskspace(uint32_t *freeClusters, uint32_t *totalClusters, uint32_t *clusterBytes);

/* Checks the mounted image's tables (boot sector, FAT copies, cluster
 * chains, directory entries) without reading file data. Returns the number
 * of problems found, 0 when consistent, or -1 when nothing is mounted or the
 * image cannot be read. */
int VEXO_VDISK_CALL zcheck(void);

/* The image file is shared with other programs: a call that reads takes
 * its lock shared, one that changes it (and an open file, until closed)
 * exclusive. A call that finds it taken waits up to 3 seconds, then fails.
 * A change or a format is also refused while a program that takes no lock
 * (the simulator) has the image open; reading is not.
 * zbusytext says why this thread's calls were refused so since its last
 * successful call: "the image is in use by PROGRAM (pid N)" or "PROGRAM
 * (pid N) has the image open: close the simulator first", NUL-terminated
 * into text (cut to size - 1 bytes). Returns the length of the whole text,
 * 0 when no call was refused so. */
int VEXO_VDISK_CALL zbusytext(char *text, int size);

#ifdef __cplusplus
}
#endif

#endif
