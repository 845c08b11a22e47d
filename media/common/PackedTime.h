// The recorder's packed local time: one unsigned 32-bit word,
// bits 31-26 year - 2000, 25-22 month, 21-17 day, 16-12 hour, 11-6 minute,
// 5-0 second. 0 means "no time".
#pragma once

#include <cstdint>

namespace media {

struct LocalTime {
    int year = 0;   // 0 when the packed word is 0
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalTime unpack_time(uint32_t packed);
uint32_t pack_time(const LocalTime &t);

// Seconds since the epoch of a packed local time, through the C library's
// local-time conversion. 0 for the packed value 0 or a time that does not
// convert.
int64_t packed_to_epoch(uint32_t packed);

}  // namespace media

namespace media {

// The packed local time of seconds since the epoch (0 when out of range).
uint32_t epoch_to_packed(int64_t t);

}  // namespace media
