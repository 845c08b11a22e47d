// Reading whole sectors of a recording along its cluster chain.
//
// The data of the current cluster is read straight from the disk (not
// through the block cache). When a read runs past the current cluster the
// next cluster of the recording is found through the index (the clusters of
// one recording are interleaved with other channels' clusters; the index
// knows which cluster continues which recording), and the read goes on
// there.
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/file/handle.h"
#include "wfs/volume/layout.h"

namespace {

const char *const kSrcFile = "Src\\file";
enum { SITE_READ = 4 };

// Longest run handed to one direct transfer (the device entry counts
// sectors in 16 bits).
const uint32_t kMaxTransferSectors = 32768;

// Whether the handle stands on the last cluster of what it reads.
bool at_last_cluster(const FileHandle *h)
{
    if (h->frag.first != 0)
        return h->cur_cluster == h->frag.last;
    const uint32_t down = h->cur_dir_info.down_cluster_no;
    return down == 0 || down == DIR_DOWN_OPEN;
}

// Reads count sectors at offset sectors into cluster clus. 0 or -1.
int read_cluster_run(const DriverParam *pdp, uint32_t clus, uint32_t offset, uint32_t count, uint8_t *dst)
{
    uint64_t sector = cluster_to_sector(pdp, clus) + offset;
    while (count > 0) {
        const uint32_t n = count < kMaxTransferSectors ? count : kMaxTransferSectors;
        if (bread_multi(pdp->dev, n, sector, dst) != 0)
            return -1;
        sector += n;
        dst += static_cast<size_t>(n) * WFS_SECTOR_SIZE;
        count -= n;
    }
    return 0;
}

}  // namespace

unsigned wfs_file_read(FileHandle *h, void *buf, uint32_t n)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_READ);
    if (st != FS_OK)
        return st;
    if (n == 0)
        wfs_trace("wfs_file_read sec_num == 0\n");
    uint8_t *out = static_cast<uint8_t *>(buf);
    if (out == nullptr && n != 0)
        return FS_NOT_FOUND;

    // Every pass either finishes inside the current cluster or moves on to
    // the next cluster of the recording. A recording has fewer clusters than
    // its partition, so a damaged chain that leads round in circles ends
    // after that many steps.
    for (uint64_t moves = 0;; ++moves) {
        if (h->cur_cluster == 0 || h->pdp == nullptr || h->cur_offset > h->clus_len)
            return FS_NO_EXIST_FILE;
        DriverParam *pdp = h->pdp;

        if (static_cast<uint64_t>(h->cur_offset) + n <= h->clus_len) {
            if (n != 0 && read_cluster_run(pdp, h->cur_cluster, h->cur_offset, n, out) != 0)
                return FS_NOT_FOUND;
            h->cur_offset += n;
            return FS_OK;
        }

        const uint32_t r = h->clus_len - h->cur_offset;
        if (r > 0) {
            if (read_cluster_run(pdp, h->cur_cluster, h->cur_offset, r, out) != 0)
                return FS_NOT_FOUND;
            if (at_last_cluster(h)) {
                // End of the recording: the rest of the request is filler.
                h->cur_offset += r;
                std::memset(out + static_cast<size_t>(r) * WFS_SECTOR_SIZE, 0xFF,
                            static_cast<size_t>(n - r) * WFS_SECTOR_SIZE);
                wfs_trace("wfs_file_read() over!!!\n");
                return FS_OK;
            }
        }

        uint32_t next = 0;
        if (moves >= pdp->total_cluster)
            return FS_NOT_FOUND;
        st = handle_next_clus(h, h->cur_cluster, &next);
        if (st != FS_OK)
            return st;
        st = file_load_clus(h, next);
        if (st != FS_OK)
            return st;
        out += static_cast<size_t>(r) * WFS_SECTOR_SIZE;
        n -= r;
    }
}
