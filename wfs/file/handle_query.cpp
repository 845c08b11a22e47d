// What a handle points at: recording, cluster, position and name.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/handle.h"
#include "wfs/file/path_name.h"
#include "wfs/volume/layout.h"

namespace {

const char *const kSrcFile = "Src\\file";
enum {
    SITE_FILE_INFO = 10,
    SITE_FILE_INFO2 = 11,
    SITE_CLUS_TIME = 12,
    SITE_CLUS_SECTORS = 13,
    SITE_CUR_SECTOR = 14,
    SITE_FILE_NAME = 15,
    SITE_FILE_SECTORS = 16,
};

bool positioned(const FileHandle *h)
{
    return h->cur_cluster != 0 && h->pdp != nullptr;
}

// Sectors of a recording from its first cluster's item; the last cluster
// never counts for more than a whole cluster.
uint64_t recording_sectors(const dir_item &first, uint32_t sec_per_clus)
{
    const uint32_t end_length = first.end_length < sec_per_clus ? first.end_length : sec_per_clus;
    return static_cast<uint64_t>(first.item_num) * sec_per_clus + end_length;
}

// Sectors of a fragment: its surviving clusters, the last one up to its
// end_length.
uint64_t fragment_sectors(const wfs_fragment &f, uint32_t sec_per_clus)
{
    return static_cast<uint64_t>(f.clusters - 1) * sec_per_clus + f.last_sectors;
}

}  // namespace

unsigned wfs_get_file_info(FileHandle *h, uint8_t *channel, uint8_t *alarm, uint8_t *stream_type, uint8_t *av)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_FILE_INFO);
    if (st != FS_OK)
        return st;
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    if (channel != nullptr)
        *channel = h->channel;
    if (alarm != nullptr)
        *alarm = h->alarm;
    if (stream_type != nullptr)
        *stream_type = h->stream_type;
    if (av != nullptr)
        *av = h->av;
    return FS_OK;
}

unsigned wfs_get_file_sectors(FileHandle *h, uint64_t *sectors)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_FILE_SECTORS);
    if (st != FS_OK)
        return st;
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    uint64_t n;
    if (h->file_flag == FILE_FLAG_WRITE) {
        n = static_cast<uint64_t>(h->curr_clus_num) * h->pdp->sec_per_clus + h->written_sectors[0];
    } else if (h->frag.first != 0) {
        n = fragment_sectors(h->frag, h->pdp->sec_per_clus);
    } else {
        dir_item first;
        st = get_dir_item_info(h->pdp, h->cur_dir_info.first_cluster_no, &first);
        if (st != FS_OK)
            return st;
        n = recording_sectors(first, h->pdp->sec_per_clus);
    }
    if (sectors != nullptr)
        *sectors = n;
    return FS_OK;
}

unsigned wfs_get_file_info2(FileHandle *h, wfs_time *start, wfs_time *end, uint32_t *len_kb)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_FILE_INFO2);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_get_file_info2()\n");
    if (!positioned(h))
        return FS_OK;
    if (h->frag.first != 0) {
        if (start != nullptr)
            *start = h->frag.start_time;
        if (end != nullptr)
            *end = h->frag.end_time;
        if (len_kb != nullptr)
            *len_kb = static_cast<uint32_t>(fragment_sectors(h->frag, h->pdp->sec_per_clus) / 2);
        return FS_OK;
    }
    dir_item first;
    st = get_dir_item_info(h->pdp, h->cur_dir_info.first_cluster_no, &first);
    if (st != FS_OK)
        return st;
    uint64_t sectors;
    if (h->file_flag == FILE_FLAG_WRITE)
        sectors = static_cast<uint64_t>(h->curr_clus_num) * h->pdp->sec_per_clus + h->written_sectors[0];
    else
        sectors = recording_sectors(first, h->pdp->sec_per_clus);
    if (start != nullptr)
        *start = first.start_time;
    if (end != nullptr)
        *end = first.end_time;
    if (len_kb != nullptr)
        *len_kb = static_cast<uint32_t>(sectors / 2);
    return FS_OK;
}

unsigned wfs_get_clus_time(FileHandle *h, wfs_time *start, uint32_t *duration_ms, uint32_t *offset)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_CLUS_TIME);
    if (st != FS_OK)
        return st;
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    const dir_item &cur = h->cur_dir_info;
    wfs_time end = cur.end_time;
    const uint32_t down = cur.down_cluster_no;
    if (h->cur_cluster == cur.first_cluster_no && down != 0 && down != DIR_DOWN_OPEN) {
        // A first cluster's own times span the whole recording; the cluster
        // itself ends where the next one starts.
        wfs_time next_start = 0;
        if (get_dir_item_time(h->pdp, down, &next_start) == FS_OK)
            end = next_start;
    }
    int64_t seconds = wfs_time_diff(end, cur.start_time);
    if (seconds < 0)
        seconds = 0;  // times that run backwards give no duration
    if (seconds > 0xFFFFFFFFll / 1000)
        seconds = 0xFFFFFFFFll / 1000;
    if (start != nullptr)
        *start = cur.start_time;
    if (duration_ms != nullptr)
        *duration_ms = static_cast<uint32_t>(seconds * 1000);
    if (offset != nullptr)
        *offset = h->cur_offset;
    return FS_OK;
}

unsigned wfs_get_clus_sectors(FileHandle *h, uint32_t *out)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_CLUS_SECTORS);
    if (st != FS_OK)
        return st;
    if (h->pdp == nullptr)
        return FS_NO_EXIST_FILE;
    if (out != nullptr)
        *out = h->pdp->sec_per_clus;
    return FS_OK;
}

unsigned wfs_get_cur_sector(FileHandle *h, uint64_t *out)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_CUR_SECTOR);
    if (st != FS_OK)
        return st;
    uint64_t pos = 0;
    if (positioned(h))
        pos = static_cast<uint64_t>(h->curr_clus_num) * h->pdp->sec_per_clus + h->cur_offset;
    if (out != nullptr)
        *out = pos;
    return FS_OK;
}

unsigned wfs_get_file_name(FileHandle *h, std::string *out)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_FILE_NAME);
    if (st != FS_OK)
        return st;
    if (!positioned(h))
        return FS_NO_EXIST_FILE;
    wfs_time start = h->frag.start_time, end = h->frag.end_time;
    if (h->frag.first == 0) {
        dir_item first;
        st = get_dir_item_info(h->pdp, h->cur_dir_info.first_cluster_no, &first);
        if (st != FS_OK)
            return st;
        start = first.start_time;
        end = first.end_time;
    }
    wfs_time_fields s, e;
    wfs_time_unpack(start, &s);
    wfs_time_unpack(end, &e);
    const std::string file = wfs_build_file_name(s.hour, s.minute, s.second, e.hour, e.minute, e.second,
                                                 wfs_lib_type_letter(h->alarm), h->first_cluster, 0,
                                                 h->av != 0 ? "h264" : "jpg");
    const std::string path = wfs_build_record_path(static_cast<int>(h->pdp->dev), static_cast<int>(h->pdp->part),
                                                   s.year, s.month, s.day, h->channel + 1, file);
    if (out != nullptr)
        *out = path;
    return FS_OK;
}

unsigned wfs_get_file_name(FileHandle *h, char *out, size_t cap)
{
    std::string name;
    unsigned st = wfs_get_file_name(h, &name);
    if (st != FS_OK)
        return st;
    if (out == nullptr || name.size() + 1 > cap) {
        if (out != nullptr && cap > 0)
            out[0] = '\0';
        return FS_BEYOND_FILE;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    return FS_OK;
}
