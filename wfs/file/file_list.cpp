#include "wfs/file/file_list.h"

#include "wfs/common/log.h"
#include "wfs/file/handle.h"
#include "wfs/file/record_search.h"
#include "wfs/file/records.h"
#include "wfs/file/section_list.h"
#include "wfs/volume/mount.h"

namespace {

bool bit_set(uint32_t mask, unsigned bit) { return bit < 32 && (mask >> bit) & 1u; }

bool same_date(wfs_time a, wfs_time b) { return (a >> 17) == (b >> 17); }

// Whether a listed recording passes the list's filters.
bool admitted(const file_info_v2 &fi, uint32_t clus, wfs_time from, uint32_t file_type_mask,
              uint32_t driver_type_mask, uint8_t stream_type, const file_info_v2 *previous)
{
    if (!bit_set(file_type_mask, fi.alarm))
        return false;
    if (fi.file_len == 0)
        return false;
    if (previous && previous->disk == fi.disk && previous->part == fi.part &&
        previous->first_cluster_no == fi.first_cluster_no)
        return false;
    if (fi.end_time <= from)
        return false;
    unsigned st = file_info_v2_stream_type(&fi);
    if (stream_type != WFS_STREAM_ANY && st != stream_type)
        return false;
    if (!bit_set(driver_type_mask, fi.av ? DRIVER_TYPE_RECORD : DRIVER_TYPE_PICTURE))
        return false;
    if (fi.av && wfs_time_diff(fi.end_time, fi.start_time) < 3)
        return false;
    if (clus != fi.first_cluster_no)
        return false;
    if (st == 3 && !same_date(fi.start_time, fi.end_time))
        return false;
    return true;
}

}  // namespace

unsigned wfs_file_list(uint8_t channel, wfs_time from, wfs_time to, uint32_t *count,
                       file_info_v2 *out, uint32_t file_type_mask, int take,
                       uint32_t driver_type_mask, uint8_t stream_type)
{
    if (!count)
        return FS_NO_EXIST_FILE;
    uint32_t capacity = out ? *count : static_cast<uint32_t>(WFS_FILE_LIST_COUNT_ONLY);
    *count = 0;
    int backward = 0;
    if (from > to) {
        wfs_time t = from;
        from = to;
        to = t;
        backward = 1;
    }
    if (from >= to)
        return FS_NO_EXIST_FILE;

    FileHandle *h = nullptr;
    if (wfs_file_open(&h, 1, 0) != FS_OK || !h)
        return FS_NO_EXIST_FILE;
    DriverParam *head = nullptr;
    for (int type = 0; type < DRIVER_TYPE_RINGS && !head; ++type) {
        if (bit_set(driver_type_mask, static_cast<unsigned>(type)))
            head = get_work_driver(type);
    }
    uint32_t n = 0;
    if (head) {
        h->pdp = head;
        refresh_current_section(head);
        h->channel = channel;
        file_build_section_list(h, backward);

        file_info_v2 last{};
        bool have_last = false;
        for (int step = 0; step < WFS_FILE_LIST_MAX_STEPS && n < capacity; ++step) {
            uint32_t clus = file_next_record(h, channel, from, to, take, driver_type_mask, backward,
                                             stream_type);
            if (clus == 0)
                break;
            bool beyond = backward ? h->found_time < from : h->found_time >= to;
            if (beyond) {
                if (bit_set(file_type_mask, 3) || bit_set(file_type_mask, 4) || bit_set(file_type_mask, 9))
                    continue;
                break;
            }
            file_info_v2 fi{};
            if (!h->pdp || fill_file_info_v2(h->pdp, clus, &fi) != FS_OK)
                continue;
            if (!admitted(fi, clus, from, file_type_mask, driver_type_mask, stream_type,
                          have_last ? &last : nullptr))
                continue;
            if (out)
                out[n] = fi;
            last = fi;
            have_last = true;
            ++n;
        }
    }
    wfs_trace("%d file(s) found.\n", static_cast<int>(n));
    wfs_file_close(h);
    *count = n;
    return n ? FS_OK : FS_NO_EXIST_FILE;
}
