// A partition's work directory and its calendar of recording days.
//
// The calendar has one 32-bit word per month, indexed by
// (year - 2000) * 13 + month; bit d of a word is set when some recording of
// the partition starts on day d of that month (month 0 and bit 0 stay
// unused). It is built by walking every recording start of the partition.
#pragma once

#include <cstdint>

#include "wfs/file/name_layer.h"

struct DriverParam;

// Word index of a year and month in a calendar.
inline int wfs_calendar_word(int year, int month) { return (year - 2000) * 13 + month; }

// Rebuilds the partition's calendar (clearing it first) from every recording
// start in its data area and copies it to out (WFS_CALENDAR_WORDS words,
// may be null). A start whose date is out of range is skipped. Returns
// FS_OK, or the status of a failed scan or directory read (the calendar then
// holds what was found before).
unsigned wfs_build_calendar(DriverParam *pdp, uint32_t *out);

// The calendar as last built for the partition (zeros before the first
// build); null when pdp is not a driver slot.
const uint32_t *wfs_partition_calendar(const DriverParam *pdp);
