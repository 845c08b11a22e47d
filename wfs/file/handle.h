// File handles: reading a recording along its cluster chain.
//
// A recording is read through a handle, one slot of a fixed table of 256.
// The handle remembers the partition (pdp), the recording's first cluster,
// the cluster it is positioned on and the sector offset inside it. Reading
// is in whole 512-byte sectors; the name layer builds its byte-wise,
// buffered access on top of the byte-layer fields kept here.
//
// Every handle carries the generation stamp it was handed out under. Each
// initialisation of the file system raises the library's change counter, so
// every handle opened before it stops validating ("INVALID HANDLE", status
// FS_INVALID_HANDLE). A re-initialisation does not free occupied slots: a
// stale handle keeps its slot until its owner closes it, so it can never
// alias a slot that someone else has been given since.
//
// Callers serialise all use of the library (one thread at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "wfs/file/fragment.h"
#include "wfs/file/records.h"
#include "wfs/file/status.h"
#include "wfs/file/wfs_time.h"

struct DriverParam;
struct TimeSection;

// Slots in the handle table.
enum { WFS_MAX_FILE_HANDLES = 256 };

// file_flag: what a slot is used for.
enum {
    FILE_FLAG_FREE = 0,          // slot free
    FILE_FLAG_WRITE = 1,         // open for writing
    FILE_FLAG_READ = 2,          // open for reading
    FILE_FLAG_SUSPENDED = 3,     // writing suspended
    FILE_FLAG_READ_VARIANT = 4,  // open for reading (variant)
};

// handle_kind: what a name-layer handle stands for.
enum {
    HANDLE_KIND_RECORDING = 0,     // a recording
    HANDLE_KIND_WORKDIR = 5,       // a partition's work directory
    HANDLE_KIND_WORKDIR_READ = 6,  // work directory whose calendar was read
};

// allocate mode
enum {
    FILE_ALLOC_READ = 0,
    FILE_ALLOC_WRITE = 1,  // needs a work-driver ring of the driver type
};

// Writer's default file-splitting interval.
const uint32_t WFS_DEFAULT_PACK_INTERVAL_MS = 3600000u;

struct FileHandle {
    FileHandle *mirror;           // second handle written in parallel (writer); null for readers
    uint64_t file_len;            // byte length of the recording as last determined (name layer)
    uint32_t first_cluster;       // first cluster of the recording
    uint32_t written_sectors[2];  // writer: sectors written in the current cluster
    uint32_t cur_cluster;         // cluster positioned on; 0 = not positioned
    uint32_t cur_offset;          // sector offset inside cur_cluster, 0 .. clus_len
    uint32_t up_cluster;          // up_cluster_no of the current cluster
    uint32_t total_clus_num;      // writer bookkeeping
    uint32_t curr_clus_num;       // index of cur_cluster within the recording (0 = first)
    uint32_t clus_len;            // sectors of recording data in cur_cluster (<= sec_per_clus)
    uint8_t file_flag;            // FILE_FLAG_*
    uint8_t channel;              // 0-based channel (0xFF = any, in searches)
    uint8_t av;                   // AV bits of the current cluster (0 picture, else video)
    uint8_t alarm;                // type code of the recording
    uint8_t stream_type;          // stream type of the recording
    uint8_t open_attr;            // value given at open (1 from the name layer)
    uint32_t open_tick;           // millisecond tick at open
    DriverParam *pdp;             // partition holding cur_cluster
    uint8_t index_byte;           // writer: index byte for its next cluster
    dir_item cur_dir_info;        // directory item of the current cluster
    uint8_t special_mode;         // writer: recording started in special mode
    uint8_t ud_stored;            // writer: user data stored
    uint8_t ud_pending;           // writer: user data pending
    uint8_t ud_data[12];          // writer: the user-data bytes
    wfs_time search_time;         // time the search layer started from
    wfs_time found_time;          // candidate time chosen by the multi-partition search
    uint8_t *buf_alloc;           // byte buffer as allocated (name layer owns it)
    uint8_t *buf;                 // its first 512-byte boundary
    uint32_t buf_size;            // bytes usable from buf
    uint64_t cur_pos;             // byte position of the byte layer
    uint64_t buf_pos;             // byte position of buf[0]; meaningful only when buf_valid
    uint8_t buf_valid;            // 1 when buf holds the bytes at buf_pos
    uint64_t head_bytes;          // stream-header bytes before the stream proper
    uint32_t gen_stamp;           // generation stamp at allocation
    TimeSection *sections;        // ordered list of the multi-partition search
    uint8_t dirty;                // writer: buffer holds unwritten data
    uint8_t handle_kind;          // HANDLE_KIND_*
    uint8_t writer_attr[5];       // writer values for byte 28 and the extended item;
                                  // [0] holds bits 5-7 of byte 28 of the current item
    wfs_fragment frag;            // a fragment the handle reads (frag.first 0: a whole recording);
                                  // its clusters count from frag.first, which is first_cluster
};

// ---------------------------------------------------------------------------
// The table.

// Resets the file layer for a new initialisation of the file system: free
// slots are cleared, the writer's file-splitting interval goes back to one
// hour. Occupied slots stay occupied (their stamps no longer match once the
// change counter moves on); their owners' close releases them.
// wfs_file_sys_init calls this before it mounts anything.
void wfs_file_layer_reset(void);

// Seconds >= 60 set the writer's file-splitting interval; smaller values are
// ignored.
void wfs_set_pack_interval(uint32_t seconds);
uint32_t wfs_get_pack_interval_ms(void);

// The current generation stamp (the library's change counter).
uint32_t wfs_file_generation(void);

// FS_OK when the handle is a slot of the table stamped with the current
// generation, else logs "INVALID HANDLE: <src>,<site> <stamp> <current>"
// and returns FS_INVALID_HANDLE. src names the calling module ("Src\\file",
// "Src\\adapt"), site the check site.
unsigned wfs_file_check_handle(const FileHandle *h, const char *src, int site);

// First free slot, zero-filled and stamped, or null ("none available
// handle"). FILE_ALLOC_WRITE also needs the work-driver ring of driver_type
// ("none available work driver"). The caller sets file_flag.
FileHandle *wfs_file_alloc_handle(int mode, int driver_type);

// Number of occupied slots (diagnostics and tests).
int wfs_file_handles_in_use(void);

// ---------------------------------------------------------------------------
// Opening, positioning, reading, closing.

// A reading handle bound to the first mounted partition (file_flag 4 when
// variant is non-zero, else 2). 1 when no slot is free or nothing is
// mounted (*out null then).
unsigned wfs_file_open(FileHandle **out, uint8_t attr, int variant);

// Positions a reading handle on the recording whose first cluster is clus.
// FS_NO_EXIST_FILE when the partition is not mounted or clus is not a
// recording's first cluster (the handle is left loaded on clus then).
unsigned wfs_file_goto_clus(FileHandle *h, int disk, int part, uint32_t clus);

// Makes clus the current cluster at offset 0 from its directory item. A
// cluster outside the partition's data area gives FS_BAD_CLUSTER; any
// failure leaves the handle unpositioned.
unsigned file_load_clus(FileHandle *h, uint32_t clus);

// The next (previous) cluster of the recording that `from` belongs to, for
// the channel ch: found through the index (status of the index scan when
// there is none; FS_NOT_FOUND at the end of the recording). A recording
// the writer carried over from the end of the ring to its start is followed
// across that wrap.
unsigned file_next_clus(DriverParam *pdp, uint32_t from, uint8_t ch, uint32_t *next);
unsigned file_prev_clus(DriverParam *pdp, uint32_t from, uint8_t ch, uint32_t *prev);

// The same for what the handle reads: along the surviving chain of a
// fragment (never past its last cluster), else as above on h's channel.
unsigned handle_next_clus(FileHandle *h, uint32_t from, uint32_t *next);
unsigned handle_prev_clus(FileHandle *h, uint32_t from, uint32_t *prev);
// The first cluster of what the handle reads (a fragment's first surviving
// cluster).
uint32_t handle_first_clus(const FileHandle *h);

// Positions a reading handle on the fragment whose first surviving cluster
// is clus (fragment.h). FS_NO_EXIST_FILE when clus starts no fragment.
unsigned wfs_file_goto_fragment(FileHandle *h, int disk, int part, uint32_t clus);

// Reads n whole sectors at the handle's position into buf (n * 512 bytes)
// and advances. Past the end of a recording whose last cluster is closed the
// rest of buf is filled with 0xFF and the result is FS_OK; a further read
// from there gives FS_NOT_FOUND. FS_NOT_FOUND also for a failed device read;
// FS_NO_EXIST_FILE when not positioned.
unsigned wfs_file_read(FileHandle *h, void *buf, uint32_t n);

// Closes a handle (and its mirror). A handle left over from an earlier
// initialisation is released as well, with FS_INVALID_HANDLE.
unsigned wfs_file_close(FileHandle *h);

// The writer's close of a recording (set by the writer module); called by
// wfs_file_close for a handle open for writing.
typedef unsigned (*WfsWriterCloseHook)(FileHandle *h);
void wfs_file_set_writer_close_hook(WfsWriterCloseHook hook);

// ---------------------------------------------------------------------------
// Queries. Null out pointers are accepted and skipped.

// Channel, type code, stream type and AV of the current cluster;
// FS_NO_EXIST_FILE when not positioned.
unsigned wfs_get_file_info(FileHandle *h, uint8_t *channel, uint8_t *alarm, uint8_t *stream_type,
                           uint8_t *av);

// Start, end and length (KB) of the recording from its first cluster's item.
// Returns FS_OK and leaves the outputs alone when not positioned.
unsigned wfs_get_file_info2(FileHandle *h, wfs_time *start, wfs_time *end, uint32_t *len_kb);

// Length of the handle's recording in sectors (writer: what was written).
unsigned wfs_get_file_sectors(FileHandle *h, uint64_t *sectors);

// Start time of the current cluster, its duration in ms and cur_offset.
unsigned wfs_get_clus_time(FileHandle *h, wfs_time *start, uint32_t *duration_ms, uint32_t *offset);

// sec_per_clus of the handle's partition.
unsigned wfs_get_clus_sectors(FileHandle *h, uint32_t *out);

// Position in sectors from the start of the recording; 0 when not
// positioned.
unsigned wfs_get_cur_sector(FileHandle *h, uint64_t *out);

// The recording's path name
// "/mnt/ide<d><p>/<date>/<channel+1>/<hh.mm.ss>-<hh.mm.ss>[L][@clus][0].<ext>".
unsigned wfs_get_file_name(FileHandle *h, std::string *out);
// The same into a caller's buffer of cap bytes (terminating zero included).
// A name that does not fit is not cut: the buffer gets "" and the result is
// FS_BEYOND_FILE.
unsigned wfs_get_file_name(FileHandle *h, char *out, size_t cap);
