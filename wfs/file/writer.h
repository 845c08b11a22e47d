// The recorder's writing side: recordings created on a channel, written
// cluster by cluster over the oldest data of the partition's ring, closed,
// split by the pack interval, overwritten in place, given user data,
// deleted and re-typed.
//
// A recording is a chain of clusters. Each cluster taken gets its
// directory record (times, chain links, lengths, channel) and index byte at
// once; the first cluster's record carries the running totals of the whole
// recording, and the open cluster's record the sectors written so far, so
// that a disk pulled while recording can be repaired at its next mount.
//
// All writes go through the block cache and the device entry: on the
// player's read-only disks they change cached blocks only; on the image
// tool's writable image they reach the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wfs/file/file_info.h"
#include "wfs/file/handle.h"
#include "wfs/file/wfs_time.h"

// Stream-header sectors a new recording reserves (262144 bytes).
#define WFS_WRITER_HEAD_BYTES 262144u
// Clusters the previous pass is kept ahead of the write position.
#define WFS_WRITER_INTERVAL_RECORD 256u
#define WFS_WRITER_INTERVAL_PICTURE 64u

// The writer's clock: the time stamped into the records. Null restores the
// computer's local time. (The image tool records with a simulated clock.)
typedef wfs_time (*WfsWriterClock)(void);
void wfs_writer_set_clock(WfsWriterClock clock);
wfs_time wfs_writer_now(void);

// The attributes a recording carries in byte 28 of its directory records
// and in its extended records.
struct wfs_write_attr {
    uint8_t sub_type;   // byte 28 bits 0-2
    uint8_t sub_type2;  // byte 28 bits 3-4
    uint8_t ext_attr1;  // extended record byte 0
    uint8_t ext_attr2;  // extended record byte 1
};

// Creates a recording of `channel` (0-based) on the work driver of
// `driver_type`: AV 0 picture, else video; `type` its type code (0-15);
// `time` its start (0: the writer's clock). With `mirror` a second
// recording is written in parallel on a driver of type 3 when there is one.
// No cluster is taken before the first write. 0, or 1 when no handle or
// work driver is available.
unsigned wfs_file_create(uint8_t channel, uint8_t av, uint8_t type, uint8_t stream_type, wfs_time time, int mirror,
                         int driver_type, const wfs_write_attr *attr, FileHandle **out);

// Stream-header bytes the recording reserves before its stream (a multiple
// of 512; WFS_WRITER_HEAD_BYTES by default, 0 for none). Only before the
// first write. 0, 6 when already written, 11 for an invalid handle.
unsigned wfs_writer_set_head_bytes(FileHandle *h, uint32_t bytes);

// Writes `sectors` whole sectors (to the handle and its mirror), taking new
// clusters as the current one fills. A recording older than the pack
// interval is closed first and the next one started. 0, 4 (write failed:
// the cluster is marked bad), 11 (not a writing handle) or a status of the
// directory access.
unsigned wfs_file_write(FileHandle *h, const void *buf, uint32_t sectors);

// Closes the handle's recording at time `t`: the last cluster gets its
// length and end, the first cluster the totals. The handle stays open (the
// next write starts a new recording). 0 or a status.
unsigned wfs_file_close_recording(FileHandle *h, wfs_time t);

// Byte-level writing through the handle's buffer: whole sectors reach the
// disk as the buffer fills; a pending pack-interval split happens before
// the new bytes (so a caller that writes whole frames never has a frame cut
// between two recordings). Returns the items written.
size_t wfs_writer_fwrite(const void *buf, size_t size, size_t count, FileHandle *h);
// Writes out what the buffer holds, padding the last sector with zeros.
// 0 or -1.
int wfs_writer_fflush(FileHandle *h);

// Overwrites sectors in place from the handle's position along the
// recording's chain, never taking clusters. Stops at the chain's end
// ("wfs_file_cover() over!!!"). 0 or a status.
unsigned wfs_file_cover(FileHandle *h, const void *buf, uint32_t sectors);

// Attaches a 12-byte card record to the handle's recording (stored at once,
// or when its first cluster is taken). 0 or a status.
unsigned _set_file_ud(FileHandle *h, const uint8_t data[12]);

// Special mode for the recordings the handle starts from now on.
unsigned fs_file_set_mode(FileHandle *h, int special);

// Marks a recording deleted: type code 32 in its first cluster's record.
// 0, FS_NO_EXIST_FILE (no such recording) or a directory status.
unsigned wfs_delete_appoint_file(const file_info *fi);
// Changes a recording's type code (0-31). 0 or a status.
unsigned wfs_retype_appoint_file(const file_info *fi, uint8_t alarm);

// Writing handles open on `pdp` (the image tool checks it before it stops).
int wfs_writer_handles_on(const DriverParam *pdp);
