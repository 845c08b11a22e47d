// The name layer: recordings of a recorder disk read like ordinary files.
//
// Paths are recording names (see path_name.h) or a partition's work
// directory "/mnt/ide<d><p>/WorkDirectory". Opening a recording name positions
// on the recording by the first cluster in the name when that is a data
// cluster, otherwise by searching the name's channel at its start time. The
// cluster may also be a deleted recording's first cluster, or the first
// surviving cluster of a fragment (recover.h), which then reads along its
// surviving chain and ends with its last cluster. Reads
// are byte-wise: small reads go through a per-handle buffer (32 KiB for video,
// 4 KiB for pictures and the work directory), large sector-aligned reads go
// straight to the disk. Positions are bytes of the stream proper: a stream
// header (a first sector starting "DHII") is skipped.
//
// Reading the work directory with a request of exactly WFS_CALENDAR_BYTES
// returns the partition's calendar of recording days once.
//
// Every operation brackets its work with the host's lock hooks when set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wfs/file/find_data.h"

#include "wfs/file/handle.h"

// A name-layer handle is a file handle of the handle table; its byte-layer
// fields (cur_pos, buf_pos, head_bytes, the buffer) belong to this layer.
typedef FileHandle fs_file;

// Calendar of recording days: 832 words indexed by (year - 2000) * 13 + month;
// bit d is set when some recording of the partition starts on day d.
enum { WFS_CALENDAR_WORDS = 832, WFS_CALENDAR_BYTES = WFS_CALENDAR_WORDS * 4 };

fs_file *fs_fopen(const char *path, const char *mode);
size_t fs_fread(void *buf, size_t size, size_t count, fs_file *fp);
size_t fs_fwrite(const void *buf, size_t size, size_t count, fs_file *fp);
int fs_fflush(fs_file *fp);
// 0; -1 invalid handle; -2 disk error; -3 bad whence, position out of range or
// positioning failed.
int fs_fseek(fs_file *fp, int64_t offset, int whence);
// Byte position (behind the stream header); -1 invalid handle; -2 disk error.
int64_t fs_ftell(fs_file *fp);
int fs_fclose(fs_file *fp);

// Lists the recordings of one channel and day: path
// "/mnt/ide<d><p>/<YYYY-MM-DD>/<CCC>/<pattern>". Returns a find handle or -1.
intptr_t fs_findfirst(const char *path, find_data *out);
int fs_findnext(intptr_t find, find_data *out);  // 0, or -1 at the end
int fs_findclose(intptr_t find);

// Changes a recording's type to the letter of the new name. 0 or -1.
int fs_rename(const char *old_path, const char *new_path);
// Free and total bytes of the partition named by the path's "/ide<d><p>". 0 or -1.
int fs_disk_space(const char *path, uint64_t *free_bytes, uint64_t *total_bytes,
                  uint64_t *free_bytes2);

// Operations the name layer does not support.
char *fs_fgets(char *buf, int size, fs_file *fp);  // null
int fs_fputs(const char *text, fs_file *fp);       // -1
int fs_access(const char *path, int mode);         // 0
int fs_remove(const char *path);                   // -1
int fs_mkdir(const char *path);                    // -1
int fs_rmdir(const char *path);                    // -1

// Host lock hooks, called around every name-layer operation (none by default).
void fs_set_lock_hooks(void (*lock)(void), void (*unlock)(void));
