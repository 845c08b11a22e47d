// The user-data ring: card numbers attached to recordings.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/area_io.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/volume/disk_error.h"
#include "wfs/volume/mount.h"

static const unsigned kItemsPerSector = WFS_SECTOR_SIZE / UD_ITEM_SIZE;
static const unsigned kCardBytes = 10;
static const unsigned kKindByte = 10;
static const unsigned kGenerationByte = 11;

static bool ring_usable(const DriverParam *pdp) { return pdp->ud_offset != 0 && pdp->ud_item_count > 1; }

static bool item_no_ok(const DriverParam *pdp, uint32_t item_no)
{
    return ring_usable(pdp) && item_no != 0 && item_no < pdp->ud_item_count;
}

static uint32_t next_item(const DriverParam *pdp, uint32_t item_no)
{
    uint32_t n = item_no + 1;
    return n >= pdp->ud_item_count ? 1 : n;
}

static unsigned read_item(DriverParam *pdp, uint32_t item_no, ud_item *out)
{
    uint64_t sector = pdp->start_sector + pdp->ud_offset + item_no / kItemsPerSector;
    BufferHead *bh = area_bread(pdp, sector, DISK_ERR_DIR);
    if (bh == nullptr)
        return FS_READ_ERROR;
    ud_item_decode(bh->data + (item_no % kItemsPerSector) * UD_ITEM_SIZE, out);
    release_block(bh);
    return FS_OK;
}

static unsigned write_item(DriverParam *pdp, uint32_t item_no, const ud_item *item, bool flush)
{
    uint64_t sector = pdp->start_sector + pdp->ud_offset + item_no / kItemsPerSector;
    BufferHead *bh = area_bread(pdp, sector, DISK_ERR_DIR);
    if (bh == nullptr)
        return FS_READ_ERROR;
    ud_item_encode(item, bh->data + (item_no % kItemsPerSector) * UD_ITEM_SIZE);
    bh->dirt = 1;
    int rc = flush ? sync_buffer(bh) : 0;
    release_block(bh);
    return rc == 0 ? FS_OK : FS_READ_ERROR;
}

unsigned ud_get_item(DriverParam *pdp, uint32_t item_no, uint32_t first_cluster, uint8_t out[UD_DATA_SIZE])
{
    if (!item_no_ok(pdp, item_no))
        return FS_NO_USER_DATA;
    ud_item item;
    unsigned st = read_item(pdp, item_no, &item);
    if (st != FS_OK)
        return st;
    if (item.first_cluster_no != first_cluster || first_cluster == 0)
        return FS_NO_USER_DATA;
    std::memcpy(out, item.data, UD_DATA_SIZE);
    return FS_OK;
}

unsigned ud_check_item(DriverParam *pdp)
{
    if (!ring_usable(pdp))
        return FS_OK;
    // The ring holds fewer than ud_item_count items, so this many steps
    // always suffice.
    for (uint32_t steps = 0; steps < pdp->ud_item_count; ++steps) {
        uint32_t first = pdp->ud_first_item;
        if (first == pdp->ud_last_item || !item_no_ok(pdp, first))
            break;
        ud_item item;
        unsigned st = read_item(pdp, first, &item);
        if (st != FS_OK)
            return st;
        if (item.first_cluster_no >= pdp->current_cluster || item.data[kGenerationByte] == pdp->generation)
            break;
        wfs_trace("del ud fir_clus=%u\n", item.first_cluster_no);
        ud_item empty;
        std::memset(&empty, 0, sizeof empty);
        st = write_item(pdp, first, &empty, false);
        if (st != FS_OK)
            return st;
        pdp->ud_first_item = next_item(pdp, first);
    }
    return FS_OK;
}

unsigned ud_add_item(DriverParam *pdp, uint32_t first_cluster, const uint8_t data[UD_DATA_SIZE], uint32_t *item_no)
{
    if (!ring_usable(pdp))
        return FS_NO_USER_DATA;
    uint32_t n = pdp->ud_last_item;
    if (!item_no_ok(pdp, n))
        n = 1;
    ud_item item;
    std::memcpy(item.data, data, UD_DATA_SIZE);
    item.data[kGenerationByte] = pdp->generation;
    item.first_cluster_no = first_cluster;
    unsigned st = write_item(pdp, n, &item, true);
    if (st != FS_OK)
        return st;
    if (item_no)
        *item_no = n;
    pdp->ud_last_item = next_item(pdp, n);
    if (pdp->ud_last_item == pdp->ud_first_item)  // the ring is full: the oldest item goes
        pdp->ud_first_item = next_item(pdp, pdp->ud_first_item);
    st = ud_check_item(pdp);
    wfs_save_driver_param(pdp);
    return st;
}

unsigned ud_init_area(DriverParam *pdp)
{
    pdp->ud_first_item = 1;
    pdp->ud_last_item = 1;
    if (pdp->ud_offset == 0)
        return FS_OK;
    BufferHead *bh = getblk(pdp->dev, pdp->start_sector + pdp->ud_offset);
    if (bh == nullptr)
        return FS_READ_ERROR;
    std::memset(bh->data, 0, WFS_SECTOR_SIZE);
    bh->uptodate = 1;
    bh->dirt = 1;
    release_block(bh);
    return FS_OK;
}

static bool nibble_matches(unsigned a, unsigned b) { return a == 0xF || b == 0xF || a == b; }

bool ud_card_matches(const uint8_t query[UD_DATA_SIZE], const uint8_t item[UD_DATA_SIZE])
{
    for (unsigned i = 0; i < kCardBytes; ++i) {
        if (!nibble_matches(query[i] & 0xFu, item[i] & 0xFu) || !nibble_matches(query[i] >> 4, item[i] >> 4))
            return false;
    }
    return query[kKindByte] == UD_ANY_KIND || query[kKindByte] == item[kKindByte];
}

void ud_print_card(const uint8_t data[UD_DATA_SIZE])
{
    wfs_trace("CardNO: %02d %02x%02x%02x%02x%02x%02x%02x%02x%02x%02x\n", data[kKindByte], data[9], data[8], data[7],
              data[6], data[5], data[4], data[3], data[2], data[1], data[0]);
}
