// The handle table: allocation, validation, opening and closing.
#include "wfs/file/handle.h"

#include <cstring>

#include "wfs/common/clock.h"
#include "wfs/common/log.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

FileHandle g_file_handles[WFS_MAX_FILE_HANDLES];
uint32_t g_pack_interval_ms = WFS_DEFAULT_PACK_INTERVAL_MS;
WfsWriterCloseHook g_writer_close_hook = nullptr;

const char *const kSrcFile = "Src\\file";

// Check sites reported in "INVALID HANDLE" lines of this module.
enum {
    SITE_OPEN = 1,
    SITE_GOTO_CLUS = 2,
    SITE_LOAD_CLUS = 3,
    SITE_GOTO_FRAGMENT = 7,
    SITE_CLOSE = 6,
};

// The slot index of a pointer that lies exactly on a slot of the table, or -1.
int slot_index(const FileHandle *h)
{
    if (h == nullptr)
        return -1;
    const uintptr_t base = reinterpret_cast<uintptr_t>(&g_file_handles[0]);
    const uintptr_t end = reinterpret_cast<uintptr_t>(&g_file_handles[WFS_MAX_FILE_HANDLES]);
    const uintptr_t p = reinterpret_cast<uintptr_t>(h);
    if (p < base || p >= end || (p - base) % sizeof(FileHandle) != 0)
        return -1;
    return static_cast<int>((p - base) / sizeof(FileHandle));
}

// The first used driver slot, or null.
DriverParam *first_mounted_driver()
{
    for (DriverParam &d : g_drivers) {
        if (driver_slot_used(&d))
            return &d;
    }
    return nullptr;
}

void release_slot(FileHandle *h)
{
    h->file_flag = FILE_FLAG_FREE;
    h->mirror = nullptr;
    h->pdp = nullptr;
    h->sections = nullptr;
}

// Every initialisation of the file system resets the handle table. The
// hook is registered on first use of the table (nothing needs resetting
// before that).
void register_reset_hook()
{
    static bool registered = false;
    if (!registered)
        registered = wfs_add_init_hook(wfs_file_layer_reset) == 0;
}

}  // namespace

void wfs_file_layer_reset(void)
{
    for (FileHandle &h : g_file_handles) {
        if (h.file_flag == FILE_FLAG_FREE)
            release_slot(&h);
    }
    g_pack_interval_ms = WFS_DEFAULT_PACK_INTERVAL_MS;
}

void wfs_set_pack_interval(uint32_t seconds)
{
    register_reset_hook();
    if (seconds < 60)
        return;
    const uint64_t ms = static_cast<uint64_t>(seconds) * 1000u;
    g_pack_interval_ms = ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(ms);
}

uint32_t wfs_get_pack_interval_ms(void)
{
    return g_pack_interval_ms;
}

uint32_t wfs_file_generation(void)
{
    return wfs_fs_generation();
}

unsigned wfs_file_check_handle(const FileHandle *h, const char *src, int site)
{
    const uint32_t current = wfs_file_generation();
    if (slot_index(h) >= 0 && h->gen_stamp == current)
        return FS_OK;
    const uint32_t stamp = slot_index(h) >= 0 ? h->gen_stamp : 0xFFFFFFFFu;
    wfs_error("INVALID HANDLE: %s,%d %d %d\n", src, site, static_cast<int>(stamp), static_cast<int>(current));
    return FS_INVALID_HANDLE;
}

FileHandle *wfs_file_alloc_handle(int mode, int driver_type)
{
    register_reset_hook();
    if (mode == FILE_ALLOC_WRITE && (driver_type < 0 || driver_type >= DRIVER_TYPE_RINGS || get_work_driver(driver_type) == nullptr)) {
        wfs_error("none available work driver\n");
        return nullptr;
    }
    for (FileHandle &h : g_file_handles) {
        if (h.file_flag != FILE_FLAG_FREE)
            continue;
        std::memset(&h, 0, sizeof h);
        h.gen_stamp = wfs_file_generation();
        return &h;
    }
    wfs_error("none available handle\n");
    return nullptr;
}

int wfs_file_handles_in_use(void)
{
    int n = 0;
    for (const FileHandle &h : g_file_handles)
        n += h.file_flag != FILE_FLAG_FREE;
    return n;
}

unsigned wfs_file_open(FileHandle **out, uint8_t attr, int variant)
{
    wfs_trace("wfs_file_open()\n");
    if (out != nullptr)
        *out = nullptr;
    FileHandle *h = wfs_file_alloc_handle(FILE_ALLOC_READ, DRIVER_TYPE_RECORD);
    if (h == nullptr) {
        wfs_error("wfs_file_open() Get the Handle error!\n");
        return 1;
    }
    h->file_flag = variant != 0 ? FILE_FLAG_READ_VARIANT : FILE_FLAG_READ;
    h->open_attr = attr;
    h->open_tick = wfs_tick_ms();
    h->pdp = first_mounted_driver();
    if (h->pdp == nullptr) {
        release_slot(h);
        return 1;
    }
    h->written_sectors[0] = h->written_sectors[1] = 0;
    h->handle_kind = HANDLE_KIND_RECORDING;
    if (out != nullptr)
        *out = h;
    else
        release_slot(h);
    return FS_OK;
}

unsigned file_load_clus(FileHandle *h, uint32_t clus)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_LOAD_CLUS);
    if (st != FS_OK)
        return st;
    DriverParam *pdp = h->pdp;
    h->cur_cluster = 0;
    h->cur_offset = 0;
    if (pdp == nullptr)
        return FS_NO_EXIST_FILE;
    // A recording lives in clusters rev_clus .. total_cluster - 1; cluster 0
    // means "not positioned". Anything else comes from a damaged chain.
    if (clus == 0 || clus >= pdp->total_cluster) {
        wfs_warn("file_load_clus: cluster %u outside the data area of /dev/sd%u%c (%u clusters)\n", clus,
                 pdp->dev, 'a' + static_cast<int>(pdp->part & 0xF), pdp->total_cluster);
        return FS_BAD_CLUSTER;
    }
    dir_item item;
    st = get_dir_item_info(pdp, clus, &item);
    if (st != FS_OK)
        return st;
    h->cur_dir_info = item;
    h->channel = item.channel;
    h->alarm = item.alarm;
    h->av = item.AV;
    h->stream_type = item.stream_type;
    const bool last = item.down_cluster_no == 0 || item.down_cluster_no == DIR_DOWN_OPEN;
    if (h->file_flag == FILE_FLAG_WRITE && item.down_cluster_no != 0)
        h->cur_dir_info.end_length = static_cast<uint16_t>(h->written_sectors[0]);
    const uint32_t end_length = h->cur_dir_info.end_length;
    // The used part of a closed last cluster; never more than a cluster,
    // whatever the directory says.
    h->clus_len = (last && end_length != 0 && end_length < pdp->sec_per_clus) ? end_length : pdp->sec_per_clus;
    h->up_cluster = item.up_cluster_no;
    h->first_cluster = item.first_cluster_no;
    h->curr_clus_num = clus == item.first_cluster_no ? 0 : item.item_num;
    if (h->frag.first != 0) {
        // A fragment counts its clusters from its first surviving one and
        // ends with its last, whatever that cluster's links say.
        const uint32_t k = item.item_num >= h->frag.base_item ? item.item_num - h->frag.base_item : UINT32_MAX;
        if (k >= h->frag.clusters)
            return FS_BAD_CLUSTER;
        h->first_cluster = h->frag.first;
        h->curr_clus_num = k;
        h->clus_len = k + 1 == h->frag.clusters ? h->frag.last_sectors : pdp->sec_per_clus;
    }
    h->writer_attr[0] = static_cast<uint8_t>(dir_item_attr_bits(&item));
    h->cur_cluster = clus;
    return FS_OK;
}

unsigned wfs_file_goto_clus(FileHandle *h, int disk, int part, uint32_t clus)
{
    DriverParam *pdp = get_pdp(disk, part);
    if (pdp == nullptr) {
        wfs_error("get_pdp failed disk:%d, part:%d !!!!!\n", disk, part);
        return FS_NO_EXIST_FILE;
    }
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_GOTO_CLUS);
    if (st != FS_OK)
        return st;
    if (h->file_flag != FILE_FLAG_READ && h->file_flag != FILE_FLAG_READ_VARIANT) {
        wfs_error("Invalid file read handle!!!!!\n");
        return FS_INVALID_HANDLE;
    }
    h->pdp = pdp;
    st = file_load_clus(h, clus);
    if (st != FS_OK)
        return st;
    if (clus != h->first_cluster) {
        wfs_trace("wfs_file_goto_clus() first_cluster:%d, clus:%d\n", static_cast<int>(h->first_cluster),
                  static_cast<int>(clus));
        return FS_NO_EXIST_FILE;
    }
    return FS_OK;
}

unsigned wfs_file_goto_fragment(FileHandle *h, int disk, int part, uint32_t clus)
{
    DriverParam *pdp = get_pdp(disk, part);
    if (pdp == nullptr) {
        wfs_error("get_pdp failed disk:%d, part:%d !!!!!\n", disk, part);
        return FS_NO_EXIST_FILE;
    }
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_GOTO_FRAGMENT);
    if (st != FS_OK)
        return st;
    if (h->file_flag != FILE_FLAG_READ && h->file_flag != FILE_FLAG_READ_VARIANT) {
        wfs_error("Invalid file read handle!!!!!\n");
        return FS_INVALID_HANDLE;
    }
    wfs_fragment frag;
    st = fragment_find(pdp, clus, &frag);
    if (st != FS_OK)
        return st;
    h->pdp = pdp;
    h->frag = frag;
    st = file_load_clus(h, clus);
    if (st != FS_OK)
        std::memset(&h->frag, 0, sizeof h->frag);
    return st;
}

void wfs_file_set_writer_close_hook(WfsWriterCloseHook hook)
{
    g_writer_close_hook = hook;
}

unsigned wfs_file_close(FileHandle *h)
{
    if (wfs_file_check_handle(h, kSrcFile, SITE_CLOSE) != FS_OK) {
        // A handle from before the last initialisation: its slot is still
        // held for its owner, who gives it back here.
        if (slot_index(h) >= 0 && h->file_flag != FILE_FLAG_FREE)
            release_slot(h);
        return FS_INVALID_HANDLE;
    }
    switch (h->file_flag) {
    case FILE_FLAG_READ:
    case FILE_FLAG_READ_VARIANT:
        break;
    case FILE_FLAG_WRITE:
        if (h->handle_kind != HANDLE_KIND_WORKDIR && h->handle_kind != HANDLE_KIND_WORKDIR_READ &&
            g_writer_close_hook != nullptr)
            g_writer_close_hook(h);
        break;
    default:
        wfs_error("Not a active file handle!!!!!\n");
        return FS_INVALID_HANDLE;
    }
    FileHandle *mirror = h->mirror;
    release_slot(h);
    if (mirror != nullptr && mirror != h) {
        if (slot_index(mirror) >= 0 && mirror->mirror == h)
            mirror->mirror = nullptr;
        wfs_file_close(mirror);
    }
    return FS_OK;
}
