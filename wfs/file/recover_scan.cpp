// The recovery scan: one pass over a partition's directory area.
//
// The area is read in pieces of WFS_RECOVER_PIECE_SECTORS straight from the
// disk (with what the library has written laid over them, as every read
// sees it). While it streams past, the scan keeps only what it may need
// later: the heads of all recordings (first-cluster records), the deleted
// ones among them, and the continuation records whose first cluster does
// not (or, when it lies further on, may not) own them. A record whose first
// cluster comes before it is decided at once, the heads being known by then;
// the others once the pass is over. The surviving clusters are then joined
// into chains by their links.
#include <algorithm>
#include <cstring>

#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/file/fragment.h"
#include "wfs/file/recover.h"
#include "wfs/volume/layout.h"

namespace {

const uint32_t kRecordsPerSector = WFS_SECTOR_SIZE / DIR_ITEM_SIZE;
const uint32_t kMaxChain = 65536;  // item_num is 16 bits

struct Surviving {
    uint32_t clus;
    dir_item item;
};

struct ClusterRange {
    uint32_t lo, hi;  // [lo, hi)
};

class Scan {
public:
    Scan(DriverParam *pdp, wfs_recover_stats *stats) : m_pdp(pdp), m_stats(stats) {}

    void read_area();
    void decide_pending();
    void emit(std::vector<wfs_recovered> *out);

private:
    void take_piece(const uint8_t *data, uint64_t first_sector, uint32_t sectors);
    void take_record(uint32_t clus, const dir_item &item);
    const wfs_head_info *head_of(uint32_t clus) const;
    bool unreadable(uint32_t clus) const;
    // Whether the candidate record is a surviving cluster, its heads known.
    bool survives(const dir_item &item) const;
    long find_surviving(uint32_t clus) const;
    void emit_deleted(uint32_t clus, std::vector<wfs_recovered> *out);
    void emit_fragment(size_t first, std::vector<uint8_t> *seen, std::vector<wfs_recovered> *out);
    void overlay_cached(uint64_t first_sector, uint32_t sectors, uint8_t *data);

    DriverParam *m_pdp;
    wfs_recover_stats *m_stats;
    std::vector<wfs_head_info> m_heads;  // ascending by cluster
    std::vector<uint32_t> m_deleted;     // ascending
    std::vector<Surviving> m_surviving;  // decided
    std::vector<Surviving> m_pending;    // first cluster further on
    std::vector<ClusterRange> m_unreadable;
};

// Blocks the library changed but has not written out yet are newer than
// what the disk (and the overlay) hold: readers through the cache see them,
// so the scan does too.
void Scan::overlay_cached(uint64_t first_sector, uint32_t sectors, uint8_t *data)
{
    for (uint32_t i = 0; i < sectors; ++i) {
        BufferHead *bh = find_cached_block(m_pdp->dev, first_sector + i);
        if (bh == nullptr)
            continue;
        if (bh->uptodate && bh->dirt)
            std::memcpy(data + static_cast<size_t>(i) * WFS_SECTOR_SIZE, bh->data, WFS_SECTOR_SIZE);
        release_block(bh);
    }
}

void Scan::read_area()
{
    const uint32_t lo = m_pdp->rev_clus > 0 ? m_pdp->rev_clus : 1;
    const uint32_t hi = m_pdp->total_cluster;
    if (lo >= hi)
        return;
    const uint64_t area = m_pdp->start_sector + m_pdp->dir_offset;
    const uint64_t s_first = lo / kRecordsPerSector;
    const uint64_t s_end = (static_cast<uint64_t>(hi) - 1) / kRecordsPerSector + 1;
    std::vector<uint8_t> piece(static_cast<size_t>(WFS_RECOVER_PIECE_SECTORS) * WFS_SECTOR_SIZE);
    for (uint64_t s = s_first; s < s_end; s += WFS_RECOVER_PIECE_SECTORS) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(WFS_RECOVER_PIECE_SECTORS, s_end - s));
        ++m_stats->reads;
        m_stats->sectors += n;
        if (bread_multi(m_pdp->dev, n, area + s, piece.data()) != 0) {
            ++m_stats->failed_reads;
            const uint64_t c_lo = s * kRecordsPerSector, c_hi = (s + n) * kRecordsPerSector;
            m_unreadable.push_back(ClusterRange{static_cast<uint32_t>(std::min<uint64_t>(c_lo, hi)),
                                                static_cast<uint32_t>(std::min<uint64_t>(c_hi, hi))});
            wfs_warn("recovery scan: directory sectors %llu..%llu of /dev/sd%u%c cannot be read\n",
                     static_cast<unsigned long long>(area + s), static_cast<unsigned long long>(area + s + n - 1),
                     m_pdp->dev, 'a' + static_cast<int>(m_pdp->part & 0xF));
            continue;
        }
        overlay_cached(area + s, n, piece.data());
        take_piece(piece.data(), s, n);
    }
}

void Scan::take_piece(const uint8_t *data, uint64_t first_sector, uint32_t sectors)
{
    const uint32_t lo = m_pdp->rev_clus > 0 ? m_pdp->rev_clus : 1;
    const uint32_t hi = m_pdp->total_cluster;
    const uint64_t c0 = first_sector * kRecordsPerSector;
    const uint64_t records = static_cast<uint64_t>(sectors) * kRecordsPerSector;
    for (uint64_t i = 0; i < records; ++i) {
        const uint64_t c = c0 + i;
        if (c < lo)
            continue;
        if (c >= hi)
            break;
        dir_item item;
        dir_item_decode(data + i * DIR_ITEM_SIZE, &item);
        take_record(static_cast<uint32_t>(c), item);
    }
}

void Scan::take_record(uint32_t clus, const dir_item &item)
{
    if (dir_item_starts_recording(&item, clus)) {
        wfs_head_info h;
        wfs_head_info_from(&item, clus, &h);
        m_heads.push_back(h);
        ++m_stats->first_clusters;
        if (item.alarm == WFS_ALARM_DELETED && item.start_time != 0)
            m_deleted.push_back(clus);
        return;
    }
    if (!fragment_candidate(m_pdp, clus, &item))
        return;
    if (item.first_cluster_no > clus) {
        m_pending.push_back(Surviving{clus, item});
        return;
    }
    if (survives(item))
        m_surviving.push_back(Surviving{clus, item});
}

const wfs_head_info *Scan::head_of(uint32_t clus) const
{
    auto it = std::lower_bound(m_heads.begin(), m_heads.end(), clus,
                               [](const wfs_head_info &h, uint32_t c) { return h.clus < c; });
    return it != m_heads.end() && it->clus == clus ? &*it : nullptr;
}

bool Scan::unreadable(uint32_t clus) const
{
    for (const ClusterRange &r : m_unreadable) {
        if (clus >= r.lo && clus < r.hi)
            return true;
    }
    return false;
}

bool Scan::survives(const dir_item &item) const
{
    // A first cluster that could not be read may well still own the record.
    return !unreadable(item.first_cluster_no) && !head_owns(head_of(item.first_cluster_no), &item);
}

void Scan::decide_pending()
{
    for (const Surviving &s : m_pending) {
        if (survives(s.item))
            m_surviving.push_back(s);
    }
    m_pending.clear();
    m_pending.shrink_to_fit();
    std::sort(m_surviving.begin(), m_surviving.end(),
              [](const Surviving &a, const Surviving &b) { return a.clus < b.clus; });
    m_stats->surviving = m_surviving.size();
}

long Scan::find_surviving(uint32_t clus) const
{
    auto it = std::lower_bound(m_surviving.begin(), m_surviving.end(), clus,
                               [](const Surviving &s, uint32_t c) { return s.clus < c; });
    return it != m_surviving.end() && it->clus == clus ? static_cast<long>(it - m_surviving.begin()) : -1;
}

void Scan::emit_deleted(uint32_t clus, std::vector<wfs_recovered> *out)
{
    dir_item item;
    if (get_dir_item_info(m_pdp, clus, &item) != FS_OK || !dir_item_starts_recording(&item, clus))
        return;
    wfs_recovered r;
    std::memset(&r, 0, sizeof r);
    fill_file_info_v2_from(m_pdp, clus, &item, &r.info);
    r.state = WFS_STATE_DELETED;
    r.clusters = static_cast<uint32_t>(item.item_num) + 1;
    const uint32_t spc = m_pdp->sec_per_clus;
    const uint32_t end_length = item.end_length < spc ? item.end_length : spc;
    r.sectors = static_cast<uint64_t>(item.item_num) * spc + end_length;
    r.head_bytes = static_cast<uint64_t>(item.head_sectors) * WFS_SECTOR_SIZE;
    if (r.head_bytes > r.sectors * WFS_SECTOR_SIZE)
        r.head_bytes = 0;
    out->push_back(r);
}

void Scan::emit_fragment(size_t first, std::vector<uint8_t> *seen, std::vector<wfs_recovered> *out)
{
    const Surviving &head = m_surviving[first];
    size_t cur = first;
    uint32_t clusters = 1;
    (*seen)[cur] = 1;
    while (clusters < kMaxChain) {
        const long next = find_surviving(m_surviving[cur].item.down_cluster_no);
        if (next < 0 || (*seen)[static_cast<size_t>(next)] ||
            !fragment_linked(m_surviving[cur].clus, &m_surviving[cur].item, m_surviving[static_cast<size_t>(next)].clus,
                             &m_surviving[static_cast<size_t>(next)].item))
            break;
        cur = static_cast<size_t>(next);
        (*seen)[cur] = 1;
        ++clusters;
    }
    const dir_item &last = m_surviving[cur].item;
    const uint32_t spc = m_pdp->sec_per_clus;
    wfs_recovered r;
    std::memset(&r, 0, sizeof r);
    fill_file_info_v2_from(m_pdp, head.clus, &head.item, &r.info);
    r.info.first_cluster_no = head.clus;
    r.info.up_cluster_no = 0;
    r.info.end_time = last.end_time;
    r.state = WFS_STATE_FRAGMENT;
    r.lost_first_cluster = head.item.first_cluster_no;
    r.clusters = clusters;
    r.sectors = static_cast<uint64_t>(clusters - 1) * spc + fragment_last_sectors(&last, spc);
    const uint64_t header = static_cast<uint64_t>(head.item.head_sectors) * WFS_SECTOR_SIZE;
    const uint64_t lost = static_cast<uint64_t>(head.item.item_num) * spc * WFS_SECTOR_SIZE;
    r.head_bytes = header > lost ? header - lost : 0;
    if (r.head_bytes > r.sectors * WFS_SECTOR_SIZE)
        r.head_bytes = 0;
    const uint64_t kb = r.sectors / 2;
    r.info.file_len = kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
    out->push_back(r);
}

void Scan::emit(std::vector<wfs_recovered> *out)
{
    std::vector<wfs_recovered> found;
    for (uint32_t clus : m_deleted)
        emit_deleted(clus, &found);
    std::vector<uint8_t> seen(m_surviving.size(), 0);
    for (size_t i = 0; i < m_surviving.size(); ++i) {
        const Surviving &s = m_surviving[i];
        const long up = find_surviving(s.item.up_cluster_no);
        const bool has_upper =
            up >= 0 && fragment_linked(m_surviving[static_cast<size_t>(up)].clus,
                                       &m_surviving[static_cast<size_t>(up)].item, s.clus, &s.item);
        if (!has_upper)
            emit_fragment(i, &seen, &found);
    }
    std::sort(found.begin(), found.end(), [](const wfs_recovered &a, const wfs_recovered &b) {
        return a.info.first_cluster_no < b.info.first_cluster_no;
    });
    out->insert(out->end(), found.begin(), found.end());
}

}  // namespace

const char *wfs_recovery_state_name(unsigned state)
{
    switch (state) {
    case WFS_STATE_DELETED:
        return "deleted";
    case WFS_STATE_FRAGMENT:
        return "fragment";
    default:
        return "live";
    }
}

unsigned wfs_recover_scan(DriverParam *pdp, std::vector<wfs_recovered> *out, wfs_recover_stats *stats)
{
    wfs_recover_stats local;
    std::memset(&local, 0, sizeof local);
    if (stats == nullptr)
        stats = &local;
    else
        std::memset(stats, 0, sizeof *stats);
    if (pdp == nullptr || out == nullptr || pdp->sec_per_clus == 0 || pdp->total_cluster == 0 ||
        pdp->dir_offset == 0)
        return FS_NO_EXIST_FILE;
    Scan scan(pdp, stats);
    scan.read_area();
    scan.decide_pending();
    scan.emit(out);
    wfs_trace("recovery scan of /dev/sd%u%c: %llu first clusters, %llu surviving clusters, %llu reads\n", pdp->dev,
              'a' + static_cast<int>(pdp->part & 0xF), static_cast<unsigned long long>(stats->first_clusters),
              static_cast<unsigned long long>(stats->surviving), static_cast<unsigned long long>(stats->reads));
    return FS_OK;
}
