// The recorder's packed time stamp: one 32-bit word in local time,
// bits 31-26 year - 2000, 25-22 month, 21-17 day, 16-12 hour, 11-6 minute,
// 5-0 second. The builder keeps its own clock as seconds since
// 2000-01-01 00:00:00 and packs it when it writes a record.
#pragma once

#include <cstdint>

namespace testimg {

struct CivilTime {
    int year = 2000;  // 2000..2063
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

uint32_t pack_time(const CivilTime &t);
uint32_t pack_time(int year, int month, int day, int hour, int minute, int second);
CivilTime unpack_time(uint32_t packed);

// Seconds since 2000-01-01 00:00:00 (proleptic Gregorian calendar).
int64_t packed_to_seconds(uint32_t packed);
uint32_t seconds_to_packed(int64_t seconds);

// Packed time + s seconds.
uint32_t packed_add(uint32_t packed, int64_t seconds);

}  // namespace testimg
