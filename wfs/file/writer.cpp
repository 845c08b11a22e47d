// Creating, writing, splitting and closing recordings.
#include "wfs/file/writer.h"

#include <cstdlib>
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/file/writer_internal.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

const char *const kSrc = "Src\\file";
// Byte buffer of a writing handle.
const uint32_t kWriteBuffer = 32768;

WfsWriterClock g_clock = nullptr;

enum { SITE_WRITE = 20, SITE_CLOSE_REC = 21, SITE_FWRITE = 22, SITE_COVER = 23, SITE_UD = 24, SITE_MODE = 25 };

bool writing(const FileHandle *h) { return h->file_flag == FILE_FLAG_WRITE; }

// Closes the recording of a writing handle when wfs_file_close is called.
unsigned close_hook(FileHandle *h)
{
    wfs_writer_fflush(h);
    unsigned st = writer_close_at(h, wfs_writer_now());
    DriverParam *pdp = h->pdp;
    FileHandle *mirror = h->mirror;
    writer_unregister(h);
    h->file_flag = FILE_FLAG_FREE;  // not counted as a writer of pdp any more
    if (pdp)
        writer_mark_idle_if_unused(pdp);
    h->file_flag = FILE_FLAG_WRITE;  // wfs_file_close releases the slot
    std::free(h->buf_alloc);
    h->buf_alloc = nullptr;
    h->buf = nullptr;
    h->buf_size = 0;
    (void)mirror;
    return st;
}

FileHandle *open_writer(uint8_t channel, uint8_t av, uint8_t type, uint8_t stream_type, wfs_time start,
                        int driver_type, const wfs_write_attr *attr)
{
    DriverParam *pdp = get_work_driver(driver_type);
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_WRITE, driver_type);
    if (h == nullptr || pdp == nullptr)
        return nullptr;
    wfs_file_set_writer_close_hook(close_hook);
    h->file_flag = FILE_FLAG_WRITE;
    h->handle_kind = HANDLE_KIND_RECORDING;
    h->open_attr = 1;
    h->open_tick = wfs_tick_ms();
    h->pdp = pdp;
    h->channel = channel & 0x3Fu;
    h->av = av ? 2 : 0;
    h->alarm = type;
    h->stream_type = stream_type;
    h->head_bytes = WFS_WRITER_HEAD_BYTES;
    if (attr) {
        h->writer_attr[1] = attr->sub_type;
        h->writer_attr[2] = attr->sub_type2;
        h->writer_attr[3] = attr->ext_attr1;
        h->writer_attr[4] = attr->ext_attr2;
    } else {
        h->writer_attr[3] = EXT_ATTR1_DEFAULT;
        h->writer_attr[4] = EXT_ATTR2_DEFAULT;
    }
    writer_begin_recording(h, start);
    writer_register(h);
    writer_mark_busy(pdp);
    return h;
}

// Time for a recording started at `start` to be closed and the next one
// begun.
bool split_due(const FileHandle *h)
{
    if (h->first_cluster == 0 || h->search_time == 0)
        return false;
    int64_t age = wfs_time_diff(wfs_writer_now(), h->search_time);
    return age >= 0 && uint64_t(age) * 1000u >= wfs_get_pack_interval_ms();
}

// Closes the recording and starts the next one on the same handle, with its
// user data carried over.
void split(FileHandle *h)
{
    wfs_time now = wfs_writer_now();
    wfs_trace("_file_write pack file internal for cur_minute = %d\n", static_cast<int>(wfs_time_minute(now)));
    bool had_ud = h->ud_stored || h->ud_pending;
    writer_close_at(h, now);
    writer_begin_recording(h, now);
    if (had_ud)
        h->ud_pending = 1;
    if (h->mirror && writing(h->mirror)) {
        writer_close_at(h->mirror, now);
        writer_begin_recording(h->mirror, now);
    }
}

// Keeps the open cluster's record and the first cluster's totals up to date
// in the cache, so that a recording cut off by a power loss can be closed
// where its data ends.
void note_progress(FileHandle *h)
{
    DriverParam *pdp = h->pdp;
    if (!pdp || h->cur_cluster == 0)
        return;
    wfs_time now = wfs_writer_now();
    uint16_t len = static_cast<uint16_t>(h->written_sectors[0]);
    set_dir_item_end_time(pdp, h->cur_cluster, now, len, false);
    set_dir_first_item(pdp, h->first_cluster, len, static_cast<uint16_t>(h->curr_clus_num), now, false);
    h->cur_dir_info.end_time = now;
    h->cur_dir_info.end_length = len;
}

// Writes n sectors of one handle.
unsigned write_sectors(FileHandle *h, const uint8_t *buf, uint32_t n)
{
    unsigned st = FS_OK;
    while (n > 0 || (h->written_sectors[1] > 0 && n > 0)) {
        DriverParam *pdp = h->pdp;
        if (h->cur_cluster == 0 || h->written_sectors[0] >= pdp->sec_per_clus) {
            st = set_new_clus(h);
            if (st != FS_OK) {
                wfs_trace("Error %d : set_new_clus(handle)\n", static_cast<int>(st));
                return st;
            }
            pdp = h->pdp;
        }
        uint32_t room = pdp->sec_per_clus - h->written_sectors[0];
        if (h->written_sectors[1] > 0) {
            // The stream header's reserved sectors are passed over.
            uint32_t skip = h->written_sectors[1] < room ? h->written_sectors[1] : room;
            h->written_sectors[0] += skip;
            h->written_sectors[1] -= skip;
            continue;
        }
        uint32_t k = n < room ? n : room;
        uint64_t lba = cluster_to_sector(pdp, h->cur_cluster) + h->written_sectors[0];
        if (bwrite_multi(pdp->dev, k, lba, buf) != 0) {
            wfs_error("set bad clus : dev %d, clus %d\n", static_cast<int>(pdp->dev), static_cast<int>(h->cur_cluster));
            writer_put_index(pdp, h->cur_cluster, index_item_make(h->channel, INDEX_FLAG_RESERVED), true);
            return FS_READ_ERROR;
        }
        h->written_sectors[0] += k;
        buf += size_t(k) * WFS_SECTOR_SIZE;
        n -= k;
    }
    note_progress(h);
    return st;
}

unsigned write_checked(FileHandle *h, const void *buf, uint32_t sectors, int site)
{
    unsigned st = wfs_file_check_handle(h, kSrc, site);
    if (st != FS_OK)
        return st;
    if (!writing(h)) {
        wfs_error("Invalid file write handle %x, flag %d!!!!!\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)),
                  h->file_flag);
        return FS_INVALID_HANDLE;
    }
    st = write_sectors(h, static_cast<const uint8_t *>(buf), sectors);
    if (st != FS_OK)
        return st;
    if (h->mirror && h->mirror != h && writing(h->mirror))
        write_sectors(h->mirror, static_cast<const uint8_t *>(buf), sectors);
    return FS_OK;
}

bool alloc_buffer(FileHandle *h)
{
    if (h->buf)
        return true;
    h->buf_alloc = static_cast<uint8_t *>(std::malloc(kWriteBuffer + WFS_SECTOR_SIZE));
    if (!h->buf_alloc)
        return false;
    uintptr_t p = reinterpret_cast<uintptr_t>(h->buf_alloc);
    h->buf = reinterpret_cast<uint8_t *>((p + WFS_SECTOR_SIZE - 1) & ~uintptr_t(WFS_SECTOR_SIZE - 1));
    h->buf_size = kWriteBuffer;
    h->buf_pos = 0;
    h->dirty = 0;
    return true;
}

// Writes the whole sectors the buffer holds; with `pad`, the last partial
// sector too (zero-filled).
unsigned drain(FileHandle *h, bool pad)
{
    uint64_t fill = h->buf_pos;
    uint32_t sectors = static_cast<uint32_t>(fill / WFS_SECTOR_SIZE);
    uint32_t rest = static_cast<uint32_t>(fill % WFS_SECTOR_SIZE);
    if (pad && rest) {
        std::memset(h->buf + fill, 0, WFS_SECTOR_SIZE - rest);
        ++sectors;
        rest = 0;
    }
    if (sectors == 0)
        return FS_OK;
    unsigned st = write_checked(h, h->buf, sectors, SITE_FWRITE);
    if (st != FS_OK)
        return st;
    if (rest)
        std::memmove(h->buf, h->buf + size_t(sectors) * WFS_SECTOR_SIZE, rest);
    h->buf_pos = rest;
    h->dirty = rest != 0;
    return FS_OK;
}

// Clusters the handle needs to write what it holds plus `extra` bytes.
uint64_t clusters_needed(const FileHandle *w, uint64_t extra)
{
    const uint64_t spc = w->pdp->sec_per_clus;
    uint64_t sectors = w->written_sectors[1] + (uint64_t(w->buf_pos) + extra + WFS_SECTOR_SIZE - 1) / WFS_SECTOR_SIZE;
    uint64_t room = w->cur_cluster != 0 ? spc - w->written_sectors[0] : 0;
    return sectors <= room ? 0 : (sectors - room + spc - 1) / spc;
}

// Callers of the byte layer write whole frames, so every handle's buffer
// ends on a frame. When the ring cannot take what the handles on it hold
// plus the new bytes, the ring is moved on now, between two writes: each
// recording is closed after its last whole frame and the new bytes start
// the next one, instead of a frame being cut where the ring ends.
void wrap_between_frames(FileHandle *h, uint64_t n)
{
    DriverParam *pdp = h->pdp;
    FileHandle *hs[WFS_MAX_FILE_HANDLES];
    int count = writer_collect(pdp, hs, WFS_MAX_FILE_HANDLES);
    uint64_t need = clusters_needed(h, n);
    for (int i = 0; i < count; ++i) {
        if (hs[i] != h)
            need += clusters_needed(hs[i], 0);
    }
    if (need <= writer_clusters_left(pdp))
        return;
    for (int i = 0; i < count; ++i) {
        if (hs[i]->buf && hs[i]->buf_pos)
            drain(hs[i], true);
    }
    if (h->pdp == pdp)  // draining did not already move the ring on
        writer_disk_over(pdp);
}

}  // namespace

void wfs_writer_set_clock(WfsWriterClock clock) { g_clock = clock; }

wfs_time wfs_writer_now(void) { return g_clock ? g_clock() : wfs_time_now(); }

void writer_begin_recording(FileHandle *h, wfs_time t)
{
    h->first_cluster = 0;
    h->cur_cluster = 0;
    h->cur_offset = 0;
    h->curr_clus_num = 0;
    h->written_sectors[0] = 0;
    h->written_sectors[1] = static_cast<uint32_t>(h->head_bytes / WFS_SECTOR_SIZE);
    h->ud_stored = 0;
    h->ud_pending = 0;
    h->search_time = t != 0 ? t : wfs_writer_now();
    h->file_len = 0;
    h->cur_pos = 0;
}

unsigned writer_close_at(FileHandle *h, wfs_time t)
{
    DriverParam *pdp = h->pdp;
    if (!pdp || h->cur_cluster == 0 || h->first_cluster == 0)
        return FS_OK;
    uint16_t len = static_cast<uint16_t>(h->written_sectors[0]);
    unsigned st = set_dir_last_item(pdp, h->cur_cluster, len, t, true);
    if (st == FS_OK)
        st = set_dir_first_item(pdp, h->first_cluster, len, static_cast<uint16_t>(h->curr_clus_num), t, true);
    if (h->ud_pending && !h->ud_stored) {
        uint32_t no = 0;
        if (ud_add_item(pdp, h->first_cluster, h->ud_data, &no) == FS_OK)
            set_dir_item_up_clus(pdp, h->first_cluster, no, true);
        h->ud_pending = 0;
    }
    pdp->end_time1 = wfs_writer_now();
    h->cur_dir_info.down_cluster_no = 0;
    h->cur_dir_info.end_time = t;
    h->cur_dir_info.end_length = len;
    // The handle no longer has an open cluster: the next write starts a new
    // recording.
    h->first_cluster = 0;
    h->cur_cluster = 0;
    h->written_sectors[0] = 0;
    sync_disk_buffers(pdp->dev);
    writer_save_driver(pdp);
    build_time_sections(pdp);
    return st;
}

unsigned wfs_file_create(uint8_t channel, uint8_t av, uint8_t type, uint8_t stream_type, wfs_time time, int mirror,
                         int driver_type, const wfs_write_attr *attr, FileHandle **out)
{
    wfs_time t = time != 0 ? time : wfs_writer_now();
    wfs_trace("wfs_file_create() ");
    wfs_trace("Ch=%d AV=%d Type=%d stream_type=%#x time: %02d-%02d %02d:%02d:%02d\n", channel, av, type, stream_type,
              wfs_time_month(t), wfs_time_day(t), wfs_time_hour(t), wfs_time_minute(t), wfs_time_second(t));
    if (out)
        *out = nullptr;
    FileHandle *m = nullptr;
    if (mirror && get_work_driver(DRIVER_TYPE_MIRROR) != nullptr)
        m = open_writer(channel, av, type, stream_type, t, DRIVER_TYPE_MIRROR, attr);
    FileHandle *h = open_writer(channel, av, type, stream_type, t, driver_type, attr);
    if (h == nullptr) {
        wfs_error("wfs_file_create() Get the Handle error with type:%d!\n", driver_type);
        if (m)
            wfs_file_close(m);
        return 1;
    }
    if (m) {
        h->mirror = m;
        m->mirror = h;
    }
    if (out)
        *out = h;
    else
        wfs_file_close(h);
    return FS_OK;
}

unsigned wfs_writer_set_head_bytes(FileHandle *h, uint32_t bytes)
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_MODE);
    if (st != FS_OK)
        return st;
    if (!writing(h))
        return FS_INVALID_HANDLE;
    if (h->first_cluster != 0)
        return FS_NO_EXIST_FILE;
    h->head_bytes = bytes / WFS_SECTOR_SIZE * WFS_SECTOR_SIZE;
    h->written_sectors[1] = static_cast<uint32_t>(h->head_bytes / WFS_SECTOR_SIZE);
    return FS_OK;
}

unsigned wfs_file_write(FileHandle *h, const void *buf, uint32_t sectors)
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_WRITE);
    if (st != FS_OK)
        return st;
    if (writing(h) && split_due(h))
        split(h);
    st = write_checked(h, buf, sectors, SITE_WRITE);
    if (st != FS_OK)
        wfs_trace("Error %d : _file_write(handle, pbuf, sec_num)\n", static_cast<int>(st));
    return st;
}

unsigned wfs_file_close_recording(FileHandle *h, wfs_time t)
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_CLOSE_REC);
    if (st != FS_OK)
        return st;
    if (!writing(h))
        return FS_INVALID_HANDLE;
    if (h->buf && h->buf_pos)
        drain(h, true);
    st = writer_close_at(h, t);
    writer_begin_recording(h, t);
    return st;
}

size_t wfs_writer_fwrite(const void *buf, size_t size, size_t count, FileHandle *h)
{
    if (!buf || size == 0 || count == 0 || count > SIZE_MAX / size)
        return 0;
    if (wfs_file_check_handle(h, kSrc, SITE_FWRITE) != FS_OK || !writing(h) || !alloc_buffer(h))
        return 0;
    DriverParam *pdp = h->pdp;
    if (pdp && pdp->start_cluster2 == 0 && pdp->current_cluster != 0 &&
        pdp->total_cluster - pdp->current_cluster < 3)
        wfs_console("fs_fwrite:%d, %d disk over!\n", static_cast<int>(pdp->current_cluster),
                    static_cast<int>(pdp->total_cluster));
    // A due split happens before these bytes, at the end of the previous
    // write.
    if (split_due(h)) {
        if (drain(h, true) != FS_OK)
            return 0;
        split(h);
    }
    wrap_between_frames(h, uint64_t(size) * count);
    // A recording takes its first cluster with its first bytes, so that the
    // clusters' start times grow with their numbers.
    if (h->cur_cluster == 0) {
        unsigned st = set_new_clus(h);
        if (st != FS_OK) {
            wfs_trace("Error %d : set_new_clus(handle)\n", static_cast<int>(st));
            return 0;
        }
    }
    const uint8_t *src = static_cast<const uint8_t *>(buf);
    size_t n = size * count;
    size_t done = 0;
    while (done < n) {
        size_t room = h->buf_size - h->buf_pos;
        size_t k = n - done < room ? n - done : room;
        std::memcpy(h->buf + h->buf_pos, src + done, k);
        h->buf_pos += k;
        h->dirty = 1;
        done += k;
        if (h->buf_pos == h->buf_size && drain(h, false) != FS_OK)
            break;
    }
    h->cur_pos += done;
    h->file_len = h->cur_pos;
    return done / size;
}

int wfs_writer_fflush(FileHandle *h)
{
    if (wfs_file_check_handle(h, kSrc, SITE_FWRITE) != FS_OK || !writing(h))
        return -1;
    if (!h->buf || h->buf_pos == 0)
        return 0;
    return drain(h, true) == FS_OK ? 0 : -1;
}

unsigned wfs_file_cover(FileHandle *h, const void *buf, uint32_t sectors)
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_COVER);
    if (st != FS_OK)
        return st;
    if (h->cur_cluster == 0 || h->pdp == nullptr || h->cur_offset > h->clus_len)
        return FS_NO_EXIST_FILE;
    const uint8_t *src = static_cast<const uint8_t *>(buf);
    // A chain is never longer than the partition has clusters.
    for (uint64_t guard = 0; sectors > 0 && guard <= h->pdp->total_cluster; ++guard) {
        uint32_t room = h->clus_len - h->cur_offset;
        uint32_t k = sectors < room ? sectors : room;
        if (k > 0) {
            uint64_t lba = cluster_to_sector(h->pdp, h->cur_cluster) + h->cur_offset;
            if (bwrite_multi(h->pdp->dev, k, lba, src) != 0)
                return FS_READ_ERROR;
            h->cur_offset += k;
            src += size_t(k) * WFS_SECTOR_SIZE;
            sectors -= k;
        }
        if (sectors == 0)
            break;
        uint32_t down = h->cur_dir_info.down_cluster_no;
        if (down == 0 || down == DIR_DOWN_OPEN) {
            wfs_trace("wfs_file_cover() over!!!\n");
            return FS_OK;
        }
        uint32_t next = 0;
        st = index_search(h->pdp, INDEX_SEARCH_NEXT_CLUS, h->cur_cluster, 0, &next, h->channel);
        if (st != FS_OK)
            return st;
        if ((st = file_load_clus(h, next)) != FS_OK)
            return st;
    }
    return FS_OK;
}

unsigned _set_file_ud(FileHandle *h, const uint8_t data[12])
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_UD);
    if (st != FS_OK || !data)
        return st != FS_OK ? st : FS_NO_USER_DATA;
    if (!writing(h))
        return FS_INVALID_HANDLE;
    std::memcpy(h->ud_data, data, sizeof h->ud_data);
    h->ud_stored = 0;
    if (h->first_cluster == 0) {
        h->ud_pending = 1;  // stored when the first cluster is taken
        return FS_OK;
    }
    uint32_t no = 0;
    st = ud_add_item(h->pdp, h->first_cluster, h->ud_data, &no);
    if (st == FS_OK)
        st = set_dir_item_up_clus(h->pdp, h->first_cluster, no, true);
    if (st != FS_OK) {
        wfs_trace("Error %d : _set_file_ud(handle,&pfile->user_data )\n", static_cast<int>(st));
        wfs_trace("_set_file_ud() the following user data not write to file first_cluster %d\n",
                  static_cast<int>(h->first_cluster));
        h->ud_pending = 1;
        return st;
    }
    h->ud_stored = 1;
    h->ud_pending = 0;
    return FS_OK;
}

unsigned fs_file_set_mode(FileHandle *h, int special)
{
    unsigned st = wfs_file_check_handle(h, kSrc, SITE_MODE);
    if (st != FS_OK)
        return st;
    if (!writing(h))
        return FS_INVALID_HANDLE;
    h->special_mode = special ? 1 : 0;
    return FS_OK;
}
