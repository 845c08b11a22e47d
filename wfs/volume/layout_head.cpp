// Volume head and partition table.
#include <cstdio>
#include <cstring>

#include "wfs/common/bytes.h"
#include "wfs/volume/layout.h"

static const uint8_t k_magic_current[VH_MAGIC_LEN] = {'W', 'F', 'S', '0', '.', '4', 0};
static const uint8_t k_magic_old[VH_MAGIC_LEN] = {'W', 'F', 'S', '0', '.', '3', 0};

void decode_volume_head(const uint8_t *sector, VolumeHead *out)
{
    std::memset(out, 0, sizeof *out);
    std::memcpy(out->magic, sector + VH_MAGIC, VH_MAGIC_LEN);
    for (int p = 0; p < 4; ++p)
        out->key_param_offset[p] = ld_32(sector + VH_KEY_PARAM_OFFSET + 4 * p);
    out->flag_q = sector[VH_FLAG_Q];
    out->flag_j = sector[VH_FLAG_J];
}

void encode_volume_head(const uint32_t key_param_offset[4], uint8_t *sector)
{
    std::memset(sector, 0, WFS_SECTOR_SIZE);
    std::memcpy(sector + VH_MAGIC, k_magic_current, VH_MAGIC_LEN);
    for (int p = 0; p < 4; ++p)
        st_32(sector + VH_KEY_PARAM_OFFSET + 4 * p, key_param_offset ? key_param_offset[p] : 0);
    sector[VH_FLAG_Q] = 'Q';
    sector[VH_FLAG_J] = 'J';
}

bool volume_head_is_current(const uint8_t *sector)
{
    return std::memcmp(sector + VH_MAGIC, k_magic_current, VH_MAGIC_LEN) == 0 && sector[VH_FLAG_Q] == 'Q' &&
           sector[VH_FLAG_J] == 'J';
}

bool volume_head_is_old(const uint8_t *sector)
{
    return std::memcmp(sector + VH_MAGIC, k_magic_old, VH_MAGIC_LEN) == 0;
}

void volume_head_convert(uint8_t *sector)
{
    std::memcpy(sector + VH_MAGIC, k_magic_current, VH_MAGIC_LEN);
    sector[VH_FLAG_Q] = 'Q';
    sector[VH_FLAG_J] = 'J';
}

std::string volume_head_mismatch_text(const uint8_t *sector)
{
    // The version text is at most the seven magic bytes, cut at a zero;
    // control characters would garble a terminal and are shown as '.'.
    char ver[VH_MAGIC_LEN + 1] = {};
    for (int i = 0; i < VH_MAGIC_LEN && sector[i]; ++i)
        ver[i] = (sector[i] < 0x20 || sector[i] >= 0x7F) ? '.' : static_cast<char>(sector[i]);
    char buf[96];
    std::snprintf(buf, sizeof buf, " check_disk_ver no match: ver %s, flg %02X %02X\n", ver, sector[VH_FLAG_Q],
                  sector[VH_FLAG_J]);
    return buf;
}

void decode_partition_table(const uint8_t *sector, PartitionTable *out)
{
    for (int i = 0; i < PT_ENTRIES; ++i) {
        const uint8_t *e = sector + PT_ENTRY + PT_ENTRY_SIZE * i;
        out->entry[i].start = ld_64(e + PTE_START);
        out->entry[i].total = ld_64(e + PTE_TOTAL);
        out->entry[i].written = ld_32(e + PTE_WRITTEN);
    }
}

void encode_partition_table(const PartitionTable *pt, uint8_t *sector)
{
    std::memset(sector, 0, WFS_SECTOR_SIZE);
    st_32(sector + PT_HEADER_W36, 0);
    st_32(sector + PT_HEADER_W40, 3);
    st_32(sector + PT_HEADER_CHECK, WFS_CHECK_WORD);
    st_32(sector + PT_HEADER_W48, 3);
    st_32(sector + PT_HEADER_W52, 1);
    for (int i = 0; i < PT_ENTRIES; ++i) {
        const PartitionEntry &pe = pt->entry[i];
        if (!pe.written)
            continue;
        uint8_t *e = sector + PT_ENTRY + PT_ENTRY_SIZE * i;
        st_64(e + PTE_START, pe.start);
        st_64(e + PTE_TOTAL, pe.total);
        st_32(e + PTE_W28, 24);
        st_32(e + PTE_WRITTEN, 1);
    }
}

bool partition_table_entry(const PartitionTable *pt, int i, uint64_t *start, uint64_t *total)
{
    if (i < 0 || i >= PT_ENTRIES)
        return false;
    const PartitionEntry &pe = pt->entry[i];
    uint64_t s = pe.start;
    if (pe.total == 0 && pe.written)
        s = 0;
    if (start)
        *start = s;
    if (total)
        *total = pe.total;
    return pe.total != 0;
}

bool partition_table_overlaps(const PartitionTable *pt)
{
    for (int i = 0; i < PT_ENTRIES; ++i) {
        const PartitionEntry &a = pt->entry[i];
        if (a.total == 0)
            continue;
        for (int j = i + 1; j < PT_ENTRIES; ++j) {
            const PartitionEntry &b = pt->entry[j];
            if (b.total == 0)
                continue;
            // Ends computed without overflow: a range reaching past 2^64 overlaps
            // everything after its start.
            bool a_before_b = a.start <= b.start && b.start - a.start >= a.total;
            bool b_before_a = b.start <= a.start && a.start - b.start >= b.total;
            if (!a_before_b && !b_before_a)
                return true;
        }
    }
    return false;
}
