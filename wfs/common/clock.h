// Time sources of the library: a millisecond tick count (wraps after about
// 49 days, like the platform tick it stands in for) and the local time.
#pragma once

#include <cstdint>

struct WfsLocalTime {
    int year;    // e.g. 2024
    int month;   // 1-12
    int day;     // 1-31
    int hour;    // 0-23
    int minute;  // 0-59
    int second;  // 0-59
    int msec;    // 0-999
};

// Milliseconds of a monotonic clock, truncated to 32 bits.
uint32_t wfs_tick_ms();

// Replaces the tick source (tests); null restores the monotonic clock.
typedef uint32_t (*WfsTickSource)();
void wfs_set_tick_source(WfsTickSource source);

void wfs_local_time(WfsLocalTime *out);
