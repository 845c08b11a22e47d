// The recording list: the recordings of one channel in a time range.
#pragma once

#include <cstdint>

#include "wfs/file/file_info.h"
#include "wfs/file/record_search.h"
#include "wfs/file/wfs_time.h"

// Capacity taken when no array is given (only counting).
enum { WFS_FILE_LIST_COUNT_ONLY = 10000000 };
// Recording starts examined per call at most.
enum { WFS_FILE_LIST_MAX_STEPS = 10000 };

// Lists the recordings of `channel` from `from` to `to` (newest first when
// from is later than to), merged over every partition whose driver type is in
// driver_type_mask.
//  - *count: in, the capacity of `out`; out, the records written (with a
//    null `out`, the number that would have been written).
//  - file_type_mask: bit n admits recordings of type code n (codes of 32 and
//    more are never listed).
//  - take: 0 includes the recording already running at the start.
//  - driver_type_mask: bits 0-6 select the driver types
//    (wfs_driver_type_bit); the bit of DRIVER_TYPE_RECORD also admits video
//    recordings, the bit of DRIVER_TYPE_PICTURE picture recordings.
//  - stream_type: admits recordings whose stream type equals it; 2 admits all.
// Recordings of zero length, video shorter than 3 seconds, recordings whose
// end is not after `from`, entries that repeat the previous record, and
// stream-type-3 recordings that pass midnight are left out.
// Returns FS_OK when at least one record was found, else FS_NO_EXIST_FILE.
unsigned wfs_file_list(uint8_t channel, wfs_time from, wfs_time to, uint32_t *count,
                       file_info_v2 *out, uint32_t file_type_mask, int take,
                       uint32_t driver_type_mask, uint8_t stream_type);
