// The channel switch: another channel's recording at the same moment.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/seek.h"

namespace {

const char *const kSrcFile = "Src\\file";
enum {
    SITE_SYNC_SOURCE = 30,
    SITE_SYNC_TARGET = 31,
    SITE_OPEN_NEAR = 32,
};

// Positions target, which stands on the source's cluster with channel ch,
// on ch's recording nearest that cluster and then at time t inside it.
unsigned position_on_channel(FileHandle *target, uint8_t ch, wfs_time t)
{
    DriverParam *pdp = target->pdp;
    const uint32_t from = target->cur_cluster;
    uint32_t found = 0;
    if (index_search(pdp, INDEX_SEARCH_BACK_IN_USE, from, 0, &found, ch) == FS_OK &&
        file_load_clus(target, found) == FS_OK) {
        const dir_item &item = target->cur_dir_info;
        const bool continuation = found != item.first_cluster_no;
        const bool last = item.down_cluster_no == 0 || item.down_cluster_no == DIR_DOWN_OPEN;
        if (continuation && !last)
            return wfs_file_moveto_time(target, t);
    }
    // The earlier cluster of ch is not inside a running recording: take the
    // next cluster of ch from the source's position on.
    found = 0;
    if (index_search(pdp, INDEX_SEARCH_IN_USE, from, 0, &found, ch) != FS_OK) {
        wfs_trace("FS_NO_EXIST_FILE: get_next_clus_no\n");
        return FS_NO_EXIST_FILE;
    }
    const unsigned st = file_load_clus(target, found);
    if (st != FS_OK)
        return st;
    return wfs_file_moveto_time(target, t);
}

}  // namespace

unsigned wfs_file_sync(FileHandle *source, uint8_t ch, FileHandle *target)
{
    unsigned st = wfs_file_check_handle(source, kSrcFile, SITE_SYNC_SOURCE);
    if (st != FS_OK)
        return st;
    wfs_trace("wfs_file_sync to channel %d\n", ch);
    if (source->cur_cluster == 0 || source->pdp == nullptr)
        return FS_NO_EXIST_FILE;
    if (source->channel == ch) {
        wfs_trace("already at this channel\n");
        return FS_OK;
    }
    wfs_time t = 0;
    st = wfs_file_cur_time(source, &t);
    if (st != FS_OK)
        return st;
    st = wfs_file_check_handle(target, kSrcFile, SITE_SYNC_TARGET);
    if (st != FS_OK)
        return st;
    target->pdp = source->pdp;
    target->cur_cluster = source->cur_cluster;
    target->channel = ch;
    std::memset(&target->frag, 0, sizeof target->frag);
    return position_on_channel(target, ch, t);
}

unsigned fs_file_open_near(FileHandle *source, uint8_t ch, FileHandle **out)
{
    unsigned st = wfs_file_check_handle(source, kSrcFile, SITE_OPEN_NEAR);
    if (st != FS_OK)
        return st;
    wfs_trace("fs_file_open_near()\n");
    if (source->cur_cluster == 0 || source->pdp == nullptr)
        return FS_NO_EXIST_FILE;
    wfs_time t = 0;
    st = wfs_file_cur_time(source, &t);
    if (st != FS_OK)
        return st;
    FileHandle *target = wfs_file_alloc_handle(FILE_ALLOC_READ, 0);
    if (target == nullptr) {
        wfs_error("fs_file_open_near() Get the Handle error!\n");
        return 1;
    }
    // A copy of the source's position and description. The byte buffer,
    // the mirror and the search list stay the source's own.
    const uint32_t stamp = target->gen_stamp;
    std::memcpy(target, source, sizeof *target);
    target->gen_stamp = stamp;
    target->file_flag = FILE_FLAG_READ;
    target->mirror = nullptr;
    target->sections = nullptr;
    target->buf_alloc = nullptr;
    target->buf = nullptr;
    target->buf_size = 0;
    target->buf_valid = 0;
    target->dirty = 0;
    target->written_sectors[0] = target->written_sectors[1] = 0;

    if (source->channel != ch) {
        target->channel = ch;
        std::memset(&target->frag, 0, sizeof target->frag);  // another channel's recording
        st = position_on_channel(target, ch, t);
        if (st != FS_OK) {
            wfs_file_close(target);
            return st;
        }
    } else {
        wfs_trace("already at this channel\n");
    }
    if (out != nullptr)
        *out = target;
    else
        wfs_file_close(target);
    return FS_OK;
}
