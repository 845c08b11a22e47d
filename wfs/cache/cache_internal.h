// Pieces shared by the cache's own files.
#pragma once

#include <cstdint>

// Power bookkeeping before a device access of `dev`.
void cache_power_before_access(uint32_t dev);
// Stamps the disk's last access after a successful device access.
void cache_stamp_access(uint32_t dev);
// Sector offset of `dev` added to every block number on the way down.
uint64_t cache_sector_offset(uint32_t dev);
// True when writes to `blocknr` of `dev` are refused right now.
bool cache_write_refused(uint32_t dev, uint64_t blocknr);
