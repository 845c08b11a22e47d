#include "wfs/volume/driver_tables.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "wfs/common/log.h"
#include "wfs/file/wfs_time.h"
#include "wfs/volume/mount.h"

namespace {

const size_t kChartColumns = 64;

void add(std::string &out, const char *fmt, ...) WFS_PRINTF(2, 3);
void add(std::string &out, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0)
        out.append(buf, static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1);
}

// "|MM-DD hh:mm:ss" of a packed time.
void add_short_time(std::string &out, uint32_t t)
{
    add(out, "|%02d-%02d %02d:%02d:%02d", wfs_time_month(t), wfs_time_day(t), wfs_time_hour(t), wfs_time_minute(t),
        wfs_time_second(t));
}

// "| YY-MM-DD hh:mm:ss " of a packed time.
void add_long_time(std::string &out, uint32_t t)
{
    add(out, "| %02d-%02d-%02d %02d:%02d:%02d ", static_cast<int>(wfs_time_year(t) % 100), wfs_time_month(t),
        wfs_time_day(t), wfs_time_hour(t), wfs_time_minute(t), wfs_time_second(t));
}

std::vector<DriverParam *> used_drivers()
{
    std::vector<DriverParam *> out;
    for (DriverParam &d : g_drivers) {
        if (driver_slot_used(&d))
            out.push_back(&d);
    }
    return out;
}

bool in_range(uint32_t t, uint32_t from, uint32_t to) { return from != 0 && t >= from && t < to; }

}  // namespace

std::string driver_tables_text(void)
{
    std::string out;
    const std::vector<DriverParam *> drivers = used_drivers();

    add(out, "driver basic parameter:\n");
    add(out, "| dev.part |type|total_clus | temp_off | index_off | dir_off |lock_off |mark_off |face_off | data_off "
             "| rev_clus | sec/clus |status|\n");
    for (const DriverParam *d : drivers) {
        if (d->next != nullptr)
            add(out, "|%u.%u -> %u.%u", d->dev, d->part, d->next->dev, d->next->part);
        else
            add(out, "|%u.%u -> ?.?", d->dev, d->part);
        add(out, "|%4u|%10u |%9u |%10u |%8u |%8u |%8u |%8u |%9u |%9u |%9u ", d->driver_type, d->total_cluster,
            d->temp_off, d->index_offset, d->dir_offset, d->lock_file_info_off, d->mark_file_info_off,
            d->face_lib_param_offset, d->data_offset, d->rev_clus, d->sec_per_clus);
        add(out, "|0x%04x|\n", d->status);
    }

    add(out, "driver operation parameter:\n");
    add(out, "| dev.part | F| S|  curr  |        start1         |         end1          |        start2         "
             "|        end2           |\n");
    for (const DriverParam *d : drivers) {
        add(out, "%s  %2u.%-2u   |%2u| %c|%8u", is_work_driver(d) ? "*" : "|", d->dev, d->part, d->generation,
            d->bad_status != 0 ? 'X' : 'O', d->current_cluster);
        add_short_time(out, d->start_time1);
        add(out, " %8u", d->rev_clus);
        add_short_time(out, d->end_time1);
        add(out, " %8u", d->current_cluster);
        add_short_time(out, d->start_time2);
        add(out, " %8u", d->start_cluster2);
        add_short_time(out, d->end_time2);
        add(out, " %8u|\n", d->end_cluster2);
    }

    add(out, "driver time chart:\n");
    std::vector<uint32_t> times;
    for (const DriverParam *d : drivers) {
        for (uint32_t t : {d->start_time1, d->end_time1, d->start_time2, d->end_time2}) {
            if (t != 0)
                times.push_back(t);
        }
    }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    if (times.size() > kChartColumns)
        times.resize(kChartColumns);
    for (const DriverParam *d : drivers) {
        add(out, "|  %2d.%2d  |", static_cast<int>(d->dev), static_cast<int>(d->part));
        for (size_t k = 0; k < kChartColumns; ++k) {
            bool mark = k < times.size() && (in_range(times[k], d->start_time1, d->end_time1) ||
                                             in_range(times[k], d->start_time2, d->end_time2));
            out += mark ? '_' : ' ';
        }
        out += "|\n";
    }

    add(out, "driver time sections:\n");
    add(out, "|dev part |start_clus| end_clus |    start_time     |   end_time        |\n");
    for (DriverParam *d : drivers) {
        if (d->time_sections == nullptr)
            continue;
        if (is_work_driver(d) && driver_type_written(d->driver_type))
            refresh_current_section(d);
        int n = time_section_count(d);
        for (int i = 0; i < n; ++i) {
            const TimeSection &s = d->time_sections[i];
            add(out, "|  %2d.%2d  |  %7d |  %7d ", static_cast<int>(d->dev), static_cast<int>(d->part),
                static_cast<int>(s.start_clus), static_cast<int>(s.end_clus));
            add_long_time(out, s.start_time);
            add_long_time(out, s.end_time);
            out += "|";
            if (s.start_clus != 0 && (s.end_clus < s.start_clus || s.start_time > s.end_time))
                out += "  (error)";
            out += "\n";
        }
    }
    return out;
}

void print_driver_tables(void)
{
    std::string text = driver_tables_text();
    // One trace message per line: a trace message holds at most 2048 bytes.
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        wfs_trace("%s\n", text.substr(at, end - at).c_str());
        at = end + 1;
    }
}
