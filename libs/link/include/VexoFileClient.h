/* Client of the palmtop's file service over a serial or USB pipe.
 *
 * Handles and results are 32-bit integers; handle 0 means none. Device names
 * are zero-terminated code page 936 (GBK) byte strings of 1 to 16 bytes
 * without '/', '\', control characters, and not "." or ".."; a leading
 * "TVR:\" (the program's mark for device files) is ignored. Local paths are
 * native (UTF-8) paths. Calls on one client are serialised; every call returns
 * within the response time-out once its request stops making progress (a
 * device that keeps talking without answering counts as silent). No call
 * raises an exception. */
#ifndef VEXO_FILE_CLIENT_H
#define VEXO_FILE_CLIENT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Failure results shared by the calls below. */
#define VEXO_ERR_NOT_CONNECTED                                                                               \
    (-1)                        /* no session: not connected, closed, or the device node cannot be opened */
#define VEXO_ERR_TIMEOUT (-2)   /* the device stayed silent for the response time-out */
#define VEXO_ERR_NOT_FOUND (-3) /* no such file on the device */
#define VEXO_ERR_BAD_NAME (-4)  /* name refused (see above); nothing was sent */
#define VEXO_ERR_EXISTS                                                                                      \
    (-5) /* destination exists and overwrite was 0: it was left untouched, nothing written */
#define VEXO_ERR_STOPPED (-6) /* the stop flag ended the transfer; the destination keeps what it had */
#define VEXO_ERR_TRANSFER_FAILED (-7) /* data check failed or the link broke during the transfer */
#define VEXO_ERR_LOCAL_IO (-8)        /* a local file could not be read or written */
#define VEXO_ERR_DEVICE_IO (-9)       /* the device could not read or store the file */
#define VEXO_ERR_BAD_HANDLE (-10)     /* unknown pipe, client or find handle, or a null argument */
#define VEXO_ERR_PROTOCOL (-11)       /* the device speaks an incompatible protocol */
#define VEXO_ERR_TOO_LARGE (-12)      /* the device's listing went past 65,536 entries or 8 MiB */
#define VEXO_ERR_NO_MEMORY (-13)      /* the library ran out of memory; the call was abandoned */
#define VEXO_ERR_UNSUPPORTED (-14)    /* the device's file service is too old for this request */
#define VEXO_ERR_NO_SPACE (-15)       /* the device has no room for the file (a send only) */
#define VEXO_ERR_OTHER_DEVICE                                                                                \
    (-16) /* after a reconnect another palmtop answered on the port; nothing was written to it */

/* 1,060 bytes filled by the find calls; all integers little-endian (the
 * library writes them byte by byte). Packed to 4 so that no tail padding is added. */
#pragma pack(push, 4)
typedef struct RpcFindRecord {
    uint8_t reserved[16]; /* offset 0: zero */
    int64_t time;         /* offset 16: the file's modification time, ms since 1970-01-01 00:00 UTC */
    int64_t size;         /* offset 24: size in bytes */
    uint32_t attributes;  /* offset 32: zero (a plain file) */
    char name[1024];      /* offset 36: CP936 name, zero-terminated */
} RpcFindRecord;
#pragma pack(pop)

/* Creates a client on a pipe made by InitUartPipe or InitUSBPipe.
 * Returns its handle (above 0), or 0 for an unknown pipe. */
int InitVexoFileClient(int pipe);

/* Closes the connection if one is open and frees the client. Returns 0, or VEXO_ERR_BAD_HANDLE. */
int UnInitVexoFileClient(int client);

/* Response time-out in milliseconds (default 3000; values below 100 are taken as 100).
 * Returns 0, or VEXO_ERR_BAD_HANDLE. */
int SetRespondTimeout(int client, int timeoutMs);

/* Resume of interrupted transfers, on (1) by default: a send or receive of
 * a file above 32 KiB that stops early (link lost, device restarted, stop
 * flag) leaves its partial data hidden on the receiving side (on the PC as
 * ".NAME.vexo-keep" beside the destination), and the next transfer of the
 * same file to the same place continues from there once both sides have
 * checked that the kept part matches; otherwise it starts over. 0 turns it
 * off: every transfer starts from the first byte. Returns 0, or VEXO_ERR_BAD_HANDLE. */
int SetResume(int client, int on);

/* Opens a session with the device's file service (hello with version and
 * capabilities). Returns 0 when connected, else a VEXO_ERR_ value. After a
 * session was lost (time-out, device restarted) later calls reconnect by themselves. */
int ConnectServer(int client);

/* Ends the session in order. Returns 0 once closed (also when the device no
 * longer answered, or no session was open), VEXO_ERR_BAD_HANDLE for an unknown client. */
int CloseConnection(int client);

/* Starts a listing of the files matching pattern ("*.*" or "*" for all; '*' and
 * '?' wildcards, letters matched without regard to case) and fills the record with
 * the first entry. Returns a find handle above 0; 0 when no file matches; a
 * VEXO_ERR_ value on failure. The whole listing is fetched here in a few
 * batches; the Next calls are served locally. A listing holds at most 65,536
 * entries (8 MiB on the line); a device that sends more gets VEXO_ERR_TOO_LARGE.
 * Entries whose names break the rules above are left out. */
int RequestFindFileOpen(int client, const char *pattern, RpcFindRecord *record);

/* Fills the record with the next entry. Returns 0 for an entry, 1 when there
 * are no more, VEXO_ERR_BAD_HANDLE for an unknown handle. */
int RequestFindFileNext(int client, int find, RpcFindRecord *record);

/* Frees a find handle; any value (also 0 or negative) is accepted. Returns 0. */
int RequestFindFileClose(int client, int find);

/* Returns 0 when the device has a file of that name, VEXO_ERR_NOT_FOUND when
 * not, another VEXO_ERR_ value on failure. */
int RequestLookupFile(int client, const char *name);

/* The same question, answered with the file's size and modification time in
 * the record (as a listing fills it) when the result is 0; on any other
 * result the record is left as it was. */
int RequestFileInfo(int client, const char *name, RpcFindRecord *record);

/* CRC-32 (as zlib computes it) of a device file's content, computed on the
 * device so that equal files are recognised without moving them over the line.
 * Returns 0 with *crc set; VEXO_ERR_NOT_FOUND; VEXO_ERR_UNSUPPORTED when the
 * device's service predates the request (nothing was sent; compare otherwise);
 * or another VEXO_ERR_ value. */
int RequestFileChecksum(int client, const char *name, uint32_t *crc);

/* BLAKE2b hash (32 bytes) of a device file's content, computed on the device.
 * Returns 0 with hash filled; VEXO_ERR_NOT_FOUND; VEXO_ERR_UNSUPPORTED when
 * the device's service does not offer it (nothing was sent); or another
 * VEXO_ERR_ value. */
int RequestFileHash(int client, const char *name, uint8_t hash[32]);

/* The palmtop's identity, made at random once and kept with its files, as
 * 32 lowercase hex digits and a terminating zero in id (size at least 33).
 * Returns 0; VEXO_ERR_UNSUPPORTED when the palmtop offers none (an older one);
 * or another VEXO_ERR_ value. A client remembers the identity that
 * ConnectServer met: when a later call has to reconnect by itself and
 * another palmtop answers, that call and every later one fail with
 * VEXO_ERR_OTHER_DEVICE, sending it nothing, until ConnectServer is called again. */
int RequestDeviceIdentity(int client, char *id, int size);

/* Free and total bytes of the device's storage. Returns 0 with both set;
 * VEXO_ERR_UNSUPPORTED when the device's service predates the request
 * (nothing was sent); or another VEXO_ERR_ value. */
int RequestFreeSpace(int client, int64_t *freeBytes, int64_t *totalBytes);

/* Returns 0 when the file was deleted, else a VEXO_ERR_ value. */
int RequestDeleteFile(int client, const char *name);

/* Deletes `count` device files, several requests in flight (one round trip
 * per file would leave a slow line idle). results[i] becomes 0 when names[i]
 * was deleted, else its VEXO_ERR_ value; once *stop (may be null) is non-zero
 * no further name is sent, and those left get VEXO_ERR_STOPPED. After a lost
 * link the names whose answer never came get that error: the device may or
 * may not have deleted them. Returns 0 when the call ran (see results), else
 * a VEXO_ERR_ value (no link could be had; every result is that value). */
int RequestDeleteFiles(int client, const char *const *names, int count, int *results, int *stop);

/* Renames a device file. Returns 0 when renamed; VEXO_ERR_EXISTS when newName is
 * taken (nothing changed), VEXO_ERR_NOT_FOUND, or another VEXO_ERR_ value. */
int RequestRenameFile(int client, const char *oldName, const char *newName);

/* Transfers.
 * progress: null, or an int the library keeps at the percentage (0..100) of
 *   the file done; another thread may poll it.
 * extra: ignored (may be null).
 * stop: null, or an int another thread sets to non-zero to abandon the
 *   file; it is polled at least once per frame and the call returns within
 *   about a second with VEXO_ERR_STOPPED.
 * overwrite: 1 replaces an existing destination; 0 leaves an existing one
 *   untouched (VEXO_ERR_EXISTS) and still writes a missing one.
 * The destination is written under a temporary name beside it and renamed
 * into place only when complete and checked: after any failure or stop it
 * keeps what it had; only the hidden partial of SetResume may be left. */

/* Byte counters for a progress display of this client's transfers: while a
 * send or receive runs, the library keeps *bytesDone at the bytes of the file
 * moved so far and *bytesTotal at the file's size (0 until known); both start
 * at 0 with each transfer. Another thread may poll them with 64-bit atomic
 * loads. A null pointer (either) ends the counting; the integers must stay
 * valid until then, and a transfer already running keeps the ones it started
 * with. Returns 0, or VEXO_ERR_BAD_HANDLE for an unknown client. */
int SetTransferCounters(int client, int64_t *bytesDone, int64_t *bytesTotal);

/* Sends a local file to the device. Returns 1 when the file was sent and
 * stored, else a VEXO_ERR_ value; VEXO_ERR_NO_SPACE when the device could
 * not store it and reports less free space than the file needs. */
int RequestSendFileEx(int client, const char *localPath, const char *deviceName, int *progress, int *extra,
                      int *stop, int overwrite);

/* Receives a device file into a local path. Returns 1 when received, else a VEXO_ERR_ value. */
int RequestReceiveFileEx(int client, const char *deviceName, const char *localPath, int *progress, int *extra,
                         int *stop, int overwrite);

#ifdef __cplusplus
}
#endif

#endif
