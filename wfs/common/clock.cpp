#include "wfs/common/clock.h"

#include <ctime>
#include <sys/time.h>

static WfsTickSource s_tick_source = nullptr;

uint32_t wfs_tick_ms()
{
    WfsTickSource src = s_tick_source;
    if (src)
        return src();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void wfs_set_tick_source(WfsTickSource source) { s_tick_source = source; }

void wfs_local_time(WfsLocalTime *out)
{
    timeval tv{};
    gettimeofday(&tv, nullptr);
    time_t secs = tv.tv_sec;
    tm local{};
    localtime_r(&secs, &local);
    out->year = local.tm_year + 1900;
    out->month = local.tm_mon + 1;
    out->day = local.tm_mday;
    out->hour = local.tm_hour;
    out->minute = local.tm_min;
    out->second = local.tm_sec;
    out->msec = static_cast<int>(tv.tv_usec / 1000);
}
