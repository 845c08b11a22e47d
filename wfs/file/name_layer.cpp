// The name layer: byte-wise, buffered reading of recordings by path name.
#include "wfs/file/name_layer.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "wfs/cache/cache.h"
#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/file/path_name.h"
#include "wfs/file/record_search.h"
#include "wfs/file/records.h"
#include "wfs/file/seek.h"
#include "wfs/file/work_dir.h"
#include "wfs/file/writer.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

const char *const kSrc = "Src\\adapt";
const uint32_t kVideoBuffer = 32768;
const uint32_t kSmallBuffer = 4096;
// Sectors per direct read: keeps one request within what a device read takes.
const uint32_t kDirectChunkSectors = 0x8000;

int find_next(intptr_t find, find_data *out);

void (*s_lock)(void) = nullptr;
void (*s_unlock)(void) = nullptr;

// Brackets one name-layer operation with the host's hooks.
struct HostLock {
    HostLock()
    {
        if (s_lock)
            s_lock();
    }
    ~HostLock()
    {
        if (s_unlock)
            s_unlock();
    }
};

bool partition_bad(const DriverParam *pdp) { return !pdp || pdp->bad_status == BAD_STATUS_MARKED; }

bool is_workdir(const FileHandle *h)
{
    return h->handle_kind == HANDLE_KIND_WORKDIR || h->handle_kind == HANDLE_KIND_WORKDIR_READ;
}

bool alloc_buffer(FileHandle *h, uint32_t size)
{
    h->buf_alloc = static_cast<uint8_t *>(std::malloc(size + WFS_SECTOR_SIZE));
    if (!h->buf_alloc)
        return false;
    uintptr_t p = reinterpret_cast<uintptr_t>(h->buf_alloc);
    h->buf = reinterpret_cast<uint8_t *>((p + WFS_SECTOR_SIZE - 1) & ~uintptr_t(WFS_SECTOR_SIZE - 1));
    h->buf_size = size;
    h->buf_valid = 0;
    h->buf_pos = 0;
    return true;
}

void free_buffer(FileHandle *h)
{
    std::free(h->buf_alloc);
    h->buf_alloc = nullptr;
    h->buf = nullptr;
    h->buf_size = 0;
    h->buf_valid = 0;
}

// Releases a handle that the name layer allocated (buffer included).
void release(FileHandle *h)
{
    free_buffer(h);
    wfs_file_close(h);
}

// Byte length of the handle's recording: its sector count x 512.
bool recording_bytes(FileHandle *h, uint64_t *out)
{
    uint64_t sectors = 0;
    if (wfs_get_file_sectors(h, &sectors) != FS_OK)
        return false;
    *out = sectors * WFS_SECTOR_SIZE;
    return true;
}

// Moves the handle to sector `sector` of the recording unless it stands there.
bool position_at(FileHandle *h, uint64_t sector)
{
    uint64_t cur = 0;
    if (wfs_get_cur_sector(h, &cur) == FS_OK && cur == sector && h->cur_cluster != 0)
        return true;
    return wfs_file_moveto_len(h, sector) == FS_OK;
}

// Reads `sectors` whole sectors at the handle's position into buf.
bool read_sectors(FileHandle *h, uint8_t *buf, uint64_t sectors)
{
    while (sectors > 0) {
        uint32_t n = sectors > kDirectChunkSectors ? kDirectChunkSectors : static_cast<uint32_t>(sectors);
        if (wfs_file_read(h, buf, n) != FS_OK)
            return false;
        buf += uint64_t(n) * WFS_SECTOR_SIZE;
        sectors -= n;
    }
    return true;
}

// A recording whose first sector starts "DHII" carries a stream header of
// (u32 at byte 4) bytes. The header length is recorded in the first
// cluster's directory item and the header sector is cleared (both only in
// the cache: the device discards writes). A header longer than the
// recording is ignored.
void check_stream_header(FileHandle *h)
{
    DriverParam *pdp = h->pdp;
    // A fragment starts somewhere inside the old recording's stream, and the
    // record its first cluster names belongs to another recording now.
    if (!pdp || h->frag.first != 0 || h->cur_dir_info.head_sectors != 0 || h->cur_cluster != h->first_cluster)
        return;
    uint8_t sector[WFS_SECTOR_SIZE];
    uint64_t lba = cluster_to_sector(pdp, h->cur_cluster);
    if (bread_multi(pdp->dev, 1, lba, sector) != 0)
        return;
    if (std::memcmp(sector, "DHII", 4) != 0)
        return;
    uint32_t header = uint32_t(sector[4]) | uint32_t(sector[5]) << 8 | uint32_t(sector[6]) << 16 |
                      uint32_t(sector[7]) << 24;
    uint32_t bps = pdp->bytes_per_sector ? pdp->bytes_per_sector : WFS_SECTOR_SIZE;
    uint32_t head_sectors = header / bps;
    uint64_t length = 0;
    if (head_sectors == 0 || head_sectors > 0xFFFF || wfs_get_file_sectors(h, &length) != FS_OK ||
        head_sectors > length)
        return;
    dir_item item;
    if (get_dir_item_info(pdp, h->first_cluster, &item) != FS_OK)
        return;
    item.head_sectors = static_cast<uint16_t>(head_sectors);
    if (set_dir_item_info(pdp, h->first_cluster, &item, true) != FS_OK)
        return;
    h->cur_dir_info.head_sectors = item.head_sectors;
    std::memset(sector, 0, sizeof sector);
    bwrite_multi(pdp->dev, 1, lba, sector);
}

fs_file *open_workdir(const char *path)
{
    int disk = 0, part = 0;
    if (wfs_parse_ide_component(path, &disk, &part) != 0) {
        wfs_console("No such driver!\n");
        return nullptr;
    }
    DriverParam *pdp = get_pdp(disk, part);
    if (!pdp) {
        wfs_console("No such driver!\n");
        return nullptr;
    }
    if (partition_bad(pdp)) {
        wfs_console("Disk error!\n");
        return nullptr;
    }
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_READ, static_cast<int>(pdp->driver_type));
    if (!h) {
        wfs_console("Get the Handle error!\n");
        return nullptr;
    }
    h->handle_kind = HANDLE_KIND_WORKDIR;
    h->file_flag = FILE_FLAG_READ;
    h->open_attr = 1;
    h->open_tick = wfs_tick_ms();
    h->pdp = pdp;
    h->cur_pos = 0;
    h->head_bytes = 0;
    if (!alloc_buffer(h, kSmallBuffer)) {
        wfs_file_close(h);
        return nullptr;
    }
    return h;
}

fs_file *open_recording(const char *path)
{
    wfs_record_name name;
    if (wfs_parse_record_name(path, &name) != 0) {
        wfs_console("No file %s!\n", path);
        return nullptr;
    }
    DriverParam *pdp = get_pdp(name.disk, name.part);
    if (!pdp) {
        wfs_console("No such driver!\n");
        return nullptr;
    }
    if (partition_bad(pdp))
        return nullptr;
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_READ, static_cast<int>(pdp->driver_type));
    if (!h) {
        wfs_console("Get the Handle error!\n");
        return nullptr;
    }
    wfs_time start = wfs_time_pack(name.year, name.month, name.day, name.start_h, name.start_m,
                                   name.start_s);
    h->handle_kind = HANDLE_KIND_RECORDING;
    h->open_attr = 1;
    h->file_flag = FILE_FLAG_READ;
    h->channel = static_cast<uint8_t>(name.channel);
    h->open_tick = wfs_tick_ms();
    h->pdp = pdp;
    h->search_time = start;
    h->alarm = static_cast<uint8_t>(name.alarm);

    // A data cluster in the name identifies the recording (a deleted one
    // too), or the fragment it is the first surviving cluster of; otherwise
    // search the name's channel for the recording that starts at the name's
    // time.
    unsigned rc;
    if (name.first_cluster >= pdp->rev_clus && name.first_cluster < pdp->total_cluster) {
        rc = wfs_file_goto_clus(h, name.disk, name.part, name.first_cluster);
        if (rc == FS_NO_EXIST_FILE)
            rc = wfs_file_goto_fragment(h, name.disk, name.part, name.first_cluster);
    } else if (name.channel < 0)
        rc = FS_NO_EXIST_FILE;
    else
        rc = file_goto_work_driver(h, static_cast<uint8_t>(name.channel), start, INDEX_SEARCH_START,
                                   name.hint, WFS_ALL_FILE_TYPES, WFS_ALL_DRIVER_TYPES, 0, WFS_STREAM_ANY);
    if (rc != FS_OK || h->cur_cluster == 0) {
        wfs_console("No file %s!\n", path);
        wfs_file_close(h);
        return nullptr;
    }
    check_stream_header(h);
    uint64_t length = 0;
    if (!recording_bytes(h, &length)) {
        wfs_console("No file %s!\n", path);
        wfs_file_close(h);
        return nullptr;
    }
    h->file_len = length;
    h->head_bytes = uint64_t(h->cur_dir_info.head_sectors) * WFS_SECTOR_SIZE;
    if (h->frag.first != 0) {
        // Every record of a recording carries its header's length, which
        // counts from the recording's first cluster: only what of it reaches
        // past the clusters the fragment has lost lies in the fragment.
        const uint64_t lost = uint64_t(h->frag.base_item) * pdp->sec_per_clus * WFS_SECTOR_SIZE;
        h->head_bytes = h->head_bytes > lost ? h->head_bytes - lost : 0;
    }
    if (h->head_bytes > h->file_len)
        h->head_bytes = 0;
    h->cur_pos = h->head_bytes;
    if (!alloc_buffer(h, h->av ? kVideoBuffer : kSmallBuffer)) {
        wfs_file_close(h);
        return nullptr;
    }
    return h;
}

// Validates a name-layer handle: a live slot of the table that this layer
// opened (its buffer exists).
bool usable(FileHandle *h, int site)
{
    if (!h || wfs_file_check_handle(h, kSrc, site) != FS_OK)
        return false;
    return h->file_flag != FILE_FLAG_FREE && h->buf != nullptr;
}

size_t read_workdir(FileHandle *h, void *buf, size_t n, size_t count)
{
    if (h->handle_kind != HANDLE_KIND_WORKDIR || n != WFS_CALENDAR_BYTES)
        return 0;
    uint32_t cal[WFS_CALENDAR_WORDS];
    wfs_build_calendar(h->pdp, cal);
    h->handle_kind = HANDLE_KIND_WORKDIR_READ;
    std::memcpy(buf, cal, WFS_CALENDAR_BYTES);
    return count;
}

size_t read_recording(FileHandle *h, uint8_t *out, size_t n, size_t size)
{
    // Near the end the recording may still be growing: look at its length again.
    bool refreshed = false;
    if (h->cur_pos + n >= h->file_len) {
        uint64_t length = 0;
        if (!recording_bytes(h, &length))
            return 0;
        if (length > h->file_len) {
            h->file_len = length;
            refreshed = true;
        }
    }

    // Large sector-aligned reads go straight into the caller's buffer.
    if (n > h->buf_size / 2 && h->cur_pos % WFS_SECTOR_SIZE == 0 && n % WFS_SECTOR_SIZE == 0) {
        if (h->cur_pos >= h->file_len)
            return 0;
        if (n > h->file_len - h->cur_pos)
            n = static_cast<size_t>(h->file_len - h->cur_pos);
        if (!position_at(h, h->cur_pos / WFS_SECTOR_SIZE) || !read_sectors(h, out, n / WFS_SECTOR_SIZE))
            return 0;
        h->cur_pos += n;
        h->buf_valid = 0;
        return n / size;
    }

    // Buffered path.
    const uint32_t bsize = h->buf_size;
    if (!h->buf_valid || h->cur_pos < h->buf_pos || h->cur_pos > h->buf_pos + bsize || refreshed) {
        uint64_t sector = h->cur_pos / WFS_SECTOR_SIZE;
        if (!position_at(h, sector) || !read_sectors(h, h->buf, bsize / WFS_SECTOR_SIZE)) {
            h->buf_valid = 0;
            return 0;
        }
        h->buf_pos = sector * WFS_SECTOR_SIZE;
        h->buf_valid = 1;
    }
    size_t done = 0;
    for (;;) {
        uint64_t window_end = h->buf_pos + bsize;
        bool at_end = window_end > h->file_len;
        uint64_t limit = at_end ? h->file_len : window_end;
        uint64_t available = limit > h->cur_pos ? limit - h->cur_pos : 0;
        size_t want = n - done;
        if (available >= want) {
            std::memcpy(out + done, h->buf + (h->cur_pos - h->buf_pos), want);
            h->cur_pos += want;
            done += want;
            break;
        }
        if (available)
            std::memcpy(out + done, h->buf + (h->cur_pos - h->buf_pos), available);
        done += available;
        h->cur_pos += available;
        if (at_end)
            break;  // end of the recording
        // The handle stands right behind the buffer: fill the next window.
        if (!position_at(h, window_end / WFS_SECTOR_SIZE) || !read_sectors(h, h->buf, bsize / WFS_SECTOR_SIZE)) {
            h->buf_valid = 0;
            break;
        }
        h->buf_pos = window_end;
        h->cur_pos = window_end;
    }
    return done / size;
}

}  // namespace

void fs_set_lock_hooks(void (*lock)(void), void (*unlock)(void))
{
    s_lock = lock;
    s_unlock = unlock;
}

namespace {

fs_file *open_path(const char *path, const char *mode)
{
    if (!path || !mode)
        return nullptr;
    // Recorder disks are only ever read.
    if (std::strcmp(mode, "rb") != 0) {
        wfs_console("No file %s!\n", path);
        return nullptr;
    }
    switch (wfs_path_kind(path)) {
    case WFS_PATH_RECORD:
        return open_recording(path);
    case WFS_PATH_WORKDIR:
        return open_workdir(path);
    default:
        return nullptr;
    }
}

}  // namespace

fs_file *fs_fopen(const char *path, const char *mode)
{
    HostLock guard;
    return open_path(path, mode);
}

size_t fs_fread(void *buf, size_t size, size_t count, fs_file *h)
{
    HostLock guard;
    if (!buf || size == 0 || count == 0 || count > SIZE_MAX / size)
        return 0;
    if (!usable(h, 1))
        return 0;
    if (partition_bad(h->pdp)) {
        wfs_console("Disk error!\n");
        return 0;
    }
    size_t n = size * count;
    if (is_workdir(h))
        return read_workdir(h, buf, n, count);
    return read_recording(h, static_cast<uint8_t *>(buf), n, size);
}

size_t fs_fwrite(const void *buf, size_t size, size_t count, fs_file *h)
{
    HostLock guard;
    return wfs_writer_fwrite(buf, size, count, h);  // 0 unless h writes a recording
}

int fs_fflush(fs_file *h)
{
    HostLock guard;
    if (h && h->file_flag == FILE_FLAG_WRITE)
        return wfs_writer_fflush(h);
    return usable(h, 2) ? 0 : -1;
}

int fs_fseek(fs_file *h, int64_t offset, int whence)
{
    HostLock guard;
    if (!usable(h, 3))
        return -1;
    if (partition_bad(h->pdp))
        return -2;
    const bool workdir = is_workdir(h);
    const uint64_t low = workdir ? 0 : h->head_bytes;
    int64_t base;
    switch (whence) {
    case 0:
        base = static_cast<int64_t>(low);
        break;
    case 1:
        base = static_cast<int64_t>(h->cur_pos);
        break;
    case 2:
        if (!workdir) {
            uint64_t length = 0;
            if (!recording_bytes(h, &length))
                return -2;
            if (length >= h->file_len)
                h->file_len = length;
        }
        base = static_cast<int64_t>(h->file_len);
        break;
    default:
        return -3;
    }
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return -3;
    uint64_t pos = static_cast<uint64_t>(base + offset);
    if (pos == h->cur_pos)
        return 0;
    if (pos < low || pos > h->file_len)
        return -3;
    if (!workdir && (!h->buf_valid || pos < h->buf_pos || pos >= h->buf_pos + h->buf_size)) {
        if (wfs_file_moveto_len(h, pos / WFS_SECTOR_SIZE) != FS_OK)
            return -3;
        h->buf_valid = 0;
    }
    h->cur_pos = pos;
    return 0;
}

int64_t fs_ftell(fs_file *h)
{
    HostLock guard;
    if (!usable(h, 4))
        return -1;
    if (partition_bad(h->pdp))
        return -2;
    if (is_workdir(h))
        return static_cast<int64_t>(h->cur_pos);
    return static_cast<int64_t>(h->cur_pos - h->head_bytes);
}

int fs_fclose(fs_file *h)
{
    HostLock guard;
    if (!h)
        return -1;
    // A handle from before a re-initialisation no longer validates, but its
    // slot is still ours: free the buffer and let the close release it.
    if (h->file_flag == FILE_FLAG_FREE)
        return -1;
    if (h->file_flag == FILE_FLAG_WRITE)
        wfs_writer_fflush(h);
    free_buffer(h);
    unsigned rc = wfs_file_close(h);
    return rc == FS_OK ? 0 : -1;
}

intptr_t fs_findfirst(const char *path, find_data *out)
{
    HostLock guard;  // the hooks are entered once per operation
    if (!path || !out)
        return -1;
    int disk, part, channel, year, month, day;
    if (wfs_parse_find_dir(path, &disk, &part, &channel, &year, &month, &day) != 0 || channel < 0)
        return -1;
    DriverParam *pdp = get_pdp(disk, part);
    if (!pdp) {
        wfs_console("No such driver!\n");
        return -1;
    }
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_READ, static_cast<int>(pdp->driver_type));
    if (!h) {
        wfs_console("fs_findfirst() Get the Handle error!\n");
        return -1;
    }
    wfs_time day_start = wfs_time_pack(year, month, day, 0, 0, 0);
    h->file_flag = FILE_FLAG_READ;
    h->handle_kind = HANDLE_KIND_RECORDING;
    h->open_attr = 1;
    h->open_tick = wfs_tick_ms();
    h->pdp = pdp;
    h->channel = static_cast<uint8_t>(channel);
    h->search_time = day_start;
    intptr_t find = reinterpret_cast<intptr_t>(h);
    if (file_goto_work_driver(h, static_cast<uint8_t>(channel), day_start, INDEX_SEARCH_IN_USE, 0,
                              WFS_ALL_FILE_TYPES, WFS_ALL_DRIVER_TYPES, 0, WFS_STREAM_ANY) != FS_OK) {
        wfs_file_close(h);
        return -1;
    }
    if (find_next(find, out) != 0) {
        wfs_file_close(h);
        return -1;
    }
    return find;
}

namespace {

int find_next(intptr_t find, find_data *out)
{
    FileHandle *h = reinterpret_cast<FileHandle *>(find);
    if (find == -1 || !h || !out || wfs_file_check_handle(h, kSrc, 5) != FS_OK ||
        h->file_flag == FILE_FLAG_FREE || h->handle_kind != HANDLE_KIND_RECORDING ||
        partition_bad(h->pdp))
        return -1;
    const wfs_time day = h->search_time;
    const wfs_time day_end = wfs_time_add(day, 86399);
    // Recordings passed over are bounded by the data area's size.
    uint64_t limit = uint64_t(h->pdp->total_cluster) + 1;
    for (uint64_t step = 0; step < limit; ++step) {
        // The walk covers the whole day (a range of one instant would stop
        // at the first time section that starts after midnight).
        uint32_t clus = file_next_record(h, h->channel, day, day_end, 0, WFS_ALL_DRIVER_TYPES, 0, h->stream_type);
        if (clus == 0 || wfs_time_diff(h->found_time, day) > 86399)
            return -1;
        dir_item item;
        if (!h->pdp || get_dir_item_info(h->pdp, clus, &item) != FS_OK)
            return -1;
        wfs_time s = item.start_time, e = item.end_time;
        bool same_day = wfs_time_year(s) == wfs_time_year(e) && wfs_time_month(s) == wfs_time_month(e) &&
                        wfs_time_day(s) == wfs_time_day(e);
        uint32_t tod_s = s & 0x1FFFFu, tod_e = e & 0x1FFFFu;  // hour, minute, second
        if (!(same_day || tod_e >= tod_s || s >= day))
            continue;
        std::string name = wfs_build_file_name(
            wfs_time_hour(s), wfs_time_minute(s), wfs_time_second(s), wfs_time_hour(e),
            wfs_time_minute(e), wfs_time_second(e), wfs_find_type_letter(item.alarm), clus,
            item.repeat_no, item.AV ? "h264" : "jpg");
        if (name.size() >= FIND_NAME_MAX)
            return -1;
        std::memcpy(out->name, name.c_str(), name.size() + 1);
        out->attrib = 0;
        uint64_t sectors = dir_item_length_sectors(&item, h->pdp->sec_per_clus);
        out->size = sectors > item.head_sectors ? (sectors - item.head_sectors) * WFS_SECTOR_SIZE : 0;
        struct tm tmv;
        std::memset(&tmv, 0, sizeof tmv);
        tmv.tm_year = static_cast<int>(wfs_time_year(s)) - 1900;
        tmv.tm_mon = static_cast<int>(wfs_time_month(s)) - 1;
        tmv.tm_mday = static_cast<int>(wfs_time_day(s));
        tmv.tm_hour = static_cast<int>(wfs_time_hour(s));
        tmv.tm_min = static_cast<int>(wfs_time_minute(s));
        tmv.tm_sec = static_cast<int>(wfs_time_second(s));
        tmv.tm_isdst = -1;
        out->time = static_cast<int64_t>(std::mktime(&tmv));
        return 0;
    }
    return -1;
}

}  // namespace

int fs_findnext(intptr_t find, find_data *out)
{
    HostLock guard;
    return find_next(find, out);
}

int fs_findclose(intptr_t find)
{
    HostLock guard;
    FileHandle *h = reinterpret_cast<FileHandle *>(find);
    if (find == -1 || !h || h->file_flag == FILE_FLAG_FREE)
        return -1;
    bool bad = partition_bad(h->pdp);
    unsigned rc = wfs_file_close(h);  // released in every case
    if (bad) {
        wfs_console("Disk error!\n");
        return -1;
    }
    return rc == FS_OK ? 0 : -1;
}

int fs_rename(const char *old_path, const char *new_path)
{
    wfs_record_name target;
    if (!old_path || !new_path || wfs_parse_record_name(new_path, &target) != 0)
        return -1;
    HostLock guard;
    fs_file *h = open_path(old_path, "rb");
    if (!h)
        return -1;
    int result = -1;
    dir_item item;
    // A fragment's first cluster belongs to another recording now.
    if (h->frag.first == 0 && get_dir_item_info(h->pdp, h->first_cluster, &item) == FS_OK) {
        item.alarm = static_cast<uint8_t>(target.alarm);
        if (set_dir_item_info(h->pdp, h->first_cluster, &item, true) == FS_OK)
            result = 0;
    }
    release(h);
    return result;
}

int fs_disk_space(const char *path, uint64_t *free_bytes, uint64_t *total_bytes, uint64_t *free_bytes2)
{
    HostLock guard;
    int disk = 0, part = 0;
    if (!path || wfs_parse_ide_component(path, &disk, &part) != 0) {
        wfs_console("No such driver!\n");
        return -1;
    }
    DriverParam *pdp = get_pdp(disk, part);
    if (!pdp) {
        wfs_console("No such driver!\n");
        return -1;
    }
    if (partition_bad(pdp)) {
        wfs_console("Disk error!\n");
        return -1;
    }
    uint64_t clus_bytes = uint64_t(pdp->sec_per_clus) * WFS_SECTOR_SIZE;
    uint64_t total = uint64_t(pdp->total_cluster) * clus_bytes;
    uint64_t used = pdp->current_cluster < pdp->total_cluster ? pdp->current_cluster : pdp->total_cluster;
    uint64_t freeb = (uint64_t(pdp->total_cluster) - used) * clus_bytes;
    if (total_bytes)
        *total_bytes = total;
    if (free_bytes)
        *free_bytes = freeb;
    if (free_bytes2)
        *free_bytes2 = freeb;
    return 0;
}

char *fs_fgets(char *, int, fs_file *) { return nullptr; }
int fs_fputs(const char *, fs_file *) { return -1; }
int fs_access(const char *, int) { return 0; }
int fs_remove(const char *) { return -1; }
int fs_mkdir(const char *) { return -1; }
int fs_rmdir(const char *) { return -1; }
