// Block access to the per-cluster areas of a partition (internal to the
// record accessors).
#pragma once

#include <cstdint>

#include "wfs/cache/cache.h"
#include "wfs/volume/layout.h"

// Where a cluster's record lies: the sector (relative to the volume) and
// the byte within it.
struct AreaPos {
    uint64_t sector;
    unsigned offset;
};

// Record of cluster `clus` in an area at `area_offset` (sectors from the
// partition's start) holding `record_size`-byte records.
inline AreaPos area_pos(const DriverParam *pdp, uint32_t area_offset, uint32_t clus, unsigned record_size)
{
    unsigned per_sector = WFS_SECTOR_SIZE / record_size;
    AreaPos p;
    p.sector = pdp->start_sector + area_offset + clus / per_sector;
    p.offset = (clus % per_sector) * record_size;
    return p;
}

// bread of an area sector; on failure reports (disk, part x 100 + code) to
// the disk-error hook and returns null.
BufferHead *area_bread(const DriverParam *pdp, uint64_t sector, int area_code);
