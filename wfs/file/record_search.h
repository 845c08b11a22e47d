// Finding recordings by time across every mounted partition.
//
// Each driver cuts its ring of clusters into time sections (at every time
// collision and at the write position); inside a section the clusters'
// start times grow with the cluster number, so a section can be searched by
// bisection. A search builds an ordered list of all usable sections of all
// drivers (section_list.h) and merges them.
//
// A cluster "matches" a search when its channel is the handle's channel (or
// the handle's channel is 0xFF) and its stream type is the requested one (or
// that is 2 or 0xFF). Recordings of one channel that start in the same
// second are told apart by their repeat_no through the hint.
#pragma once

#include <cstdint>

#include "wfs/file/handle.h"

// Stream types that match every recording.
enum { WFS_STREAM_ANY = 2, WFS_STREAM_ANY2 = 0xFF };

// A file_type_mask admitting every type code, a driver_type_mask selecting
// every driver type.
const uint32_t WFS_ALL_FILE_TYPES = 0xFFFFFFFFu;
const uint32_t WFS_ALL_DRIVER_TYPES = 0xFFFFFFFFu;
// The bit of a driver type in a driver_type_mask (none above type 31).
constexpr uint32_t wfs_driver_type_bit(unsigned type) { return type < 32 ? 1u << type : 0u; }

// Positions h (whose pdp is set) inside its partition's cluster range
// lo .. hi (start times increasing with the cluster number) on the cluster
// the index mode asks for (forward modes 2, 3; backward 7, 8, 12), starting
// the scan near time t. FS_OK, FS_NO_EXIST_FILE, or a directory error.
unsigned file_goto_driver(FileHandle *h, wfs_time t, uint32_t lo, uint32_t hi, int mode, int hint,
                          uint8_t stream_type);

// Positions h on the recording of channel ch nearest to t over all
// partitions whose driver type bit is in driver_type_mask (forward for
// modes 2 and 3, else backward). A found recording whose type code is not in
// file_type_mask is passed over in modes 3 and 8. FS_OK or FS_NO_EXIST_FILE.
// section_arg is accepted for compatibility and not used.
unsigned file_goto_work_driver(FileHandle *h, uint8_t ch, wfs_time t, int mode, int hint,
                               uint32_t file_type_mask, uint32_t driver_type_mask, uint32_t section_arg,
                               uint8_t stream_type);

// The next recording of channel ch in time order (from b to c; newest first
// when backward), merged over the sections of h's section list, one per
// call. Returns its first cluster (binding h->pdp to its partition and
// setting h->found_time), or 0 when there is none. take 0 includes the
// recording already running at b.
uint32_t file_next_record(FileHandle *h, uint8_t ch, wfs_time b, wfs_time c, int take,
                          uint32_t driver_type_mask, int backward, uint8_t stream_type);
