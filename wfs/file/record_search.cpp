// Finding recordings by time: inside one partition by bisection over a
// section's clusters, and across all partitions by merging their sections.
#include "wfs/file/record_search.h"

#include "wfs/common/log.h"
#include "wfs/file/section_list.h"
#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

const char *const kSrcFile = "Src\\file";
enum {
    SITE_GOTO_DRIVER = 40,
    SITE_GOTO_WORK_DRIVER = 41,
    SITE_NEXT_RECORD = 42,
};

// A forward search never looks back further than this before t ...
const int64_t kLookBackSeconds = 2399;
// ... and a backward one never further ahead than this many clusters.
const uint32_t kLookAheadClusters = 32;
// Repeated searches of file_goto_work_driver past recordings of types not
// asked for.
const int kMaxTypeRetries = 4096;

bool backward_mode(int mode)
{
    return mode == INDEX_SEARCH_BACK_IN_USE || mode == INDEX_SEARCH_BACK_START || mode == INDEX_SEARCH_BACK_FROM;
}

bool same_day(wfs_time a, wfs_time b)
{
    return (a >> 17) == (b >> 17);
}

bool type_in_mask(unsigned code, uint32_t mask)
{
    return code < 32 && ((mask >> code) & 1u) != 0;
}

// What the bisection and the walks look at in one cluster.
struct ClusterFacts {
    wfs_time start;  // S(x)
    wfs_time end;    // E(x), only when asked for
    unsigned repeat;  // R(x)
    bool match;      // channel and stream type as asked
};

unsigned cluster_facts(const FileHandle *h, uint32_t x, uint8_t stream_type, bool with_end, ClusterFacts *out)
{
    dir_item item;
    unsigned st = get_dir_item_info(h->pdp, x, &item);
    if (st != FS_OK)
        return st;
    out->start = item.start_time;
    out->repeat = item.repeat_no;
    out->match = (h->channel == INDEX_ANY_CHANNEL || item.channel == h->channel) &&
                 (stream_type == WFS_STREAM_ANY || stream_type == WFS_STREAM_ANY2 || item.stream_type == stream_type);
    out->end = 0;
    if (with_end)
        return get_dir_item_time1(h->pdp, x, &out->end);
    return FS_OK;
}

// Forward modes: from the bisection's x walk back to where the recording
// that holds t (or the first one after t) can be found by a forward scan.
unsigned place_forward(const FileHandle *h, wfs_time t, uint32_t lo, int hint, uint8_t stream_type, uint32_t *x,
                       bool *widened)
{
    const uint32_t before_walk = *x;
    int64_t cur = *x;
    bool went_below = false;
    ClusterFacts f;
    for (;;) {
        if (cur < static_cast<int64_t>(lo)) {
            went_below = true;
            break;
        }
        unsigned st = cluster_facts(h, static_cast<uint32_t>(cur), stream_type, true, &f);
        if (st != FS_OK)
            return st;
        if (f.match && t >= f.end)
            break;  // a matching recording that ended before t
        if (!same_day(f.end, t) || wfs_time_diff(t, f.end) > kLookBackSeconds)
            break;
        const bool keep_walking = !f.match || t >= f.end || (t == f.start && static_cast<int>(f.repeat) < hint);
        if (!keep_walking)
            break;
        --cur;
    }
    *x = went_below ? before_walk : static_cast<uint32_t>(cur);
    unsigned st = cluster_facts(h, *x, stream_type, true, &f);
    if (st != FS_OK)
        return st;
    if (f.match && t < f.end && !(t == f.start && static_cast<int>(f.repeat) < hint) && *x > 0)
        --*x;  // so that the scan, which starts behind x, finds x itself

    // Clusters opened within the same second as t cannot be ordered by
    // their times (short clusters, or several channels starting together),
    // so the bisection may have landed among them: move in front of all of
    // them and let the scan sort them out by repeat_no.
    *widened = false;
    while (*x >= lo && *x > 0) {
        ClusterFacts g;
        st = cluster_facts(h, *x, stream_type, false, &g);
        if (st != FS_OK)
            return st;
        // A cluster without a start time (never written) was opened in no
        // second at all: with t = 0 every blank cluster down to lo would
        // otherwise be walked on every search.
        if (g.start != t || g.start == 0)
            break;
        --*x;
        *widened = true;
    }
    return FS_OK;
}

// Backward modes: walk a few clusters ahead to a matching cluster that
// started at or before t.
unsigned place_backward(const FileHandle *h, wfs_time t, uint32_t hi, int hint, uint8_t stream_type,
                        const ClusterFacts &fh, uint32_t *x)
{
    const uint32_t before_walk = *x;
    uint32_t cur = *x;
    for (uint32_t steps = 0;; ++steps) {
        ClusterFacts f;
        unsigned st = cluster_facts(h, cur, stream_type, false, &f);
        if (st != FS_OK)
            return st;
        if (f.match && t >= f.start)
            break;
        if (steps == kLookAheadClusters || cur >= hi) {
            cur = before_walk;
            break;
        }
        ++cur;
    }
    *x = cur;
    if (fh.match && (t > fh.start || (t == fh.start && hint < static_cast<int>(fh.repeat))))
        ++*x;  // the backward scan starts in front of x
    return FS_OK;
}

}  // namespace

unsigned file_goto_driver(FileHandle *h, wfs_time t, uint32_t lo, uint32_t hi, int mode, int hint,
                          uint8_t stream_type)
{
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_GOTO_DRIVER);
    if (st != FS_OK)
        return st;
    wfs_trace("file_goto_driver(%d -> %d),", static_cast<int>(lo), static_cast<int>(hi));
    DriverParam *pdp = h->pdp;
    if (pdp == nullptr || pdp->total_cluster == 0)
        return FS_NO_EXIST_FILE;
    if (hi >= pdp->total_cluster)
        hi = pdp->total_cluster - 1;
    if (lo > hi)
        return FS_NO_EXIST_FILE;

    // Bisection over the start times (ties broken by repeat_no against hint).
    uint32_t L = lo, H = hi;
    for (;;) {
        const uint32_t m = static_cast<uint32_t>((static_cast<uint64_t>(L) + H) / 2);
        if (m == L)
            break;
        ClusterFacts f;
        st = cluster_facts(h, m, stream_type, false, &f);
        if (st != FS_OK)
            return st;
        if (t < f.start || (t == f.start && hint < static_cast<int>(f.repeat)))
            H = m;
        else
            L = m;
    }
    uint32_t x = L;
    ClusterFacts fh;
    st = cluster_facts(h, H, stream_type, false, &fh);
    if (st != FS_OK)
        return st;

    const bool backward = backward_mode(mode);
    bool widened = false;
    if (!backward) {
        if (t > fh.start || (t == fh.start && static_cast<int>(fh.repeat) <= hint))
            x = H;
        st = place_forward(h, t, lo, hint, stream_type, &x, &widened);
    } else {
        if (t > fh.start || (t == fh.start && static_cast<int>(fh.repeat) < hint))
            x = H;
        st = place_backward(h, t, hi, hint, stream_type, fh, &x);
    }
    if (st != FS_OK)
        return st;

    // Scan the index from x for the cluster the mode asks for.
    const uint32_t bound = backward ? lo : hi;
    uint32_t from = x;
    uint32_t found = 0;
    for (;;) {
        st = index_search(pdp, mode, from, bound, &found, h->channel);
        if (st == FS_NO_INDEX_AREA)
            return FS_NO_EXIST_FILE;
        if (st != FS_OK)
            return st;
        if (found < lo || found > hi)
            return FS_NO_EXIST_FILE;
        if (backward ? found >= from : found <= from)
            return FS_NO_EXIST_FILE;  // a scan that does not move on would never end
        if (mode == INDEX_SEARCH_START || mode == INDEX_SEARCH_BACK_START || widened) {
            ClusterFacts f;
            st = cluster_facts(h, found, stream_type, mode == INDEX_SEARCH_BACK_START, &f);
            if (st != FS_OK)
                return st;
            bool again = mode == INDEX_SEARCH_START ? t > f.start : mode == INDEX_SEARCH_BACK_START && t < f.end;
            // Recordings of the same second that the hint puts before t.
            if (widened && t == f.start && static_cast<int>(f.repeat) < hint)
                again = true;
            if (again) {
                from = found;
                continue;
            }
        }
        break;
    }
    return file_load_clus(h, found);
}

unsigned file_goto_work_driver(FileHandle *h, uint8_t ch, wfs_time t, int mode, int hint,
                               uint32_t file_type_mask, uint32_t driver_type_mask, uint32_t section_arg,
                               uint8_t stream_type)
{
    (void)section_arg;
    unsigned st = wfs_file_check_handle(h, kSrcFile, SITE_GOTO_WORK_DRIVER);
    if (st != FS_OK)
        return st;
    const bool forward = mode == INDEX_SEARCH_IN_USE || mode == INDEX_SEARCH_START;

    DriverParam *last_pdp = nullptr;
    uint32_t last_clus = 0;
    for (int round = 0; round < kMaxTypeRetries; ++round) {
        wfs_trace("file_goto_work_driver() driver_type:%d, ch:%d file_type:%x, hint:%d time:",
                  static_cast<int>(driver_type_mask), ch, file_type_mask, hint);
        wfs_time_print(t);
        h->channel = ch;
        for (int type = 0; type < DRIVER_TYPE_RINGS; ++type) {
            if (!type_in_mask(static_cast<unsigned>(type), driver_type_mask))
                continue;
            DriverParam *head = get_work_driver(type);
            if (head != nullptr)
                refresh_current_section(head);
        }
        file_build_section_list(h, forward ? 0 : 1);

        TimeSection *best = nullptr;
        uint32_t best_clus = 0;
        for (TimeSection *ts = h->sections; ts != nullptr; ts = ts->next) {
            if (!section_type_in_mask(ts->owner->driver_type, driver_type_mask))
                continue;
            const bool qualifies = forward ? t < ts->end_time : t > ts->start_time;
            if (!qualifies) {
                ts->state = SECTION_STATE_DONE;
                continue;
            }
            if (best != nullptr &&
                (forward ? ts->start_time > best->cand_time : ts->end_time < best->cand_time))
                continue;  // cannot hold anything nearer than the best so far
            h->pdp = ts->owner;
            // A section not searched yet has its cursor at its start; a
            // backward search then covers the whole section.
            const uint32_t back_hi = ts->state == SECTION_STATE_NEW ? ts->end_clus : ts->cursor;
            st = forward ? file_goto_driver(h, t, ts->cursor, ts->end_clus, mode, hint, stream_type)
                         : file_goto_driver(h, t, ts->start_clus, back_hi, mode, hint, stream_type);
            if (st != FS_OK) {
                ts->state = SECTION_STATE_DONE;
                continue;
            }
            ts->cursor = h->cur_cluster;
            ts->state = SECTION_STATE_POSITIONED;
            ts->cand_time = forward ? h->cur_dir_info.start_time : h->cur_dir_info.end_time;
            if (best == nullptr ||
                (forward ? ts->cand_time < best->cand_time : ts->cand_time > best->cand_time)) {
                best = ts;
                best_clus = ts->cursor;
            }
        }
        if (best == nullptr)
            return FS_NO_EXIST_FILE;
        h->pdp = best->owner;
        st = file_load_clus(h, best_clus);
        if (st != FS_OK)
            return st;
        if (type_in_mask(h->alarm, file_type_mask))
            return FS_OK;
        if (mode != INDEX_SEARCH_START && mode != INDEX_SEARCH_BACK_START)
            return FS_OK;
        // A recording of a type not asked for: search on past it.
        if (h->pdp == last_pdp && h->cur_cluster == last_clus)
            return FS_NO_EXIST_FILE;
        last_pdp = h->pdp;
        last_clus = h->cur_cluster;
        t = h->cur_dir_info.start_time;
        hint = mode == INDEX_SEARCH_START ? static_cast<int>(h->cur_dir_info.repeat_no) + 1 : 0;
    }
    return FS_NO_EXIST_FILE;
}

namespace {

// Moves a winning section's cursor on to its next candidate, or exhausts it.
void advance_section(TimeSection *ts, uint8_t ch, int backward)
{
    DriverParam *pdp = ts->owner;
    uint32_t next = 0;
    unsigned st;
    if (!backward) {
        if (ts->cursor >= ts->end_clus) {
            ts->state = SECTION_STATE_DONE;
            return;
        }
        st = index_search(pdp, INDEX_SEARCH_START, ts->cursor, ts->end_clus, &next, ch);
        if (st != FS_OK || next <= ts->cursor || next > ts->end_clus) {
            ts->state = SECTION_STATE_DONE;
            return;
        }
    } else {
        st = index_search(pdp, INDEX_SEARCH_BACK_START, ts->cursor, ts->start_clus, &next, ch);
        if (st != FS_OK || next >= ts->cursor || next < ts->start_clus) {
            ts->state = SECTION_STATE_DONE;
            return;
        }
    }
    wfs_time start = 0;
    if (get_dir_item_time(pdp, next, &start) != FS_OK) {
        ts->state = SECTION_STATE_DONE;
        return;
    }
    ts->cursor = next;
    ts->cand_time = start;
}

// Places a new section's cursor near b (and, walking backwards, on the last
// recording start before c). False when the section has nothing.
bool position_section(FileHandle *h, TimeSection *ts, uint8_t ch, wfs_time b, wfs_time c, int take, int backward,
                      uint8_t stream_type)
{
    h->pdp = ts->owner;
    if (file_goto_driver(h, b, ts->cursor, ts->end_clus, INDEX_SEARCH_IN_USE, take, stream_type) != FS_OK)
        return false;
    ts->cursor = h->cur_cluster;
    if (backward) {
        for (;;) {
            uint32_t next = 0;
            wfs_time start = 0;
            if (index_search(ts->owner, INDEX_SEARCH_START, ts->cursor, ts->end_clus, &next, ch) != FS_OK)
                break;
            if (next <= ts->cursor || next > ts->end_clus)
                break;
            if (get_dir_item_time(ts->owner, next, &start) != FS_OK || !(start < c))
                break;
            ts->cursor = next;
        }
    }
    return true;
}

// Whether the recording named by a cluster's first_cluster_no still starts
// there: a first cluster lies at or before its continuation clusters and
// names itself. The tail of a recording whose start the ring has since
// overwritten names a cluster that now belongs to another recording.
bool owns_first_cluster(DriverParam *pdp, uint32_t clus, const dir_item &item)
{
    const uint32_t first = item.first_cluster_no;
    if (first == clus)
        return true;
    if (first > clus)
        return false;
    dir_item head;
    return get_dir_item_info(pdp, first, &head) == FS_OK && head.first_cluster_no == first &&
           head.channel == item.channel;
}

// Turns a positioned section's cursor into its first candidate. False when
// it has none.
bool take_candidate(TimeSection *ts, uint8_t ch, wfs_time b, wfs_time c, int take, int backward)
{
    DriverParam *pdp = ts->owner;
    dir_item item;
    if (get_dir_item_info(pdp, ts->cursor, &item) != FS_OK)
        return false;
    if (backward && (item.start_time < b || item.start_time > c))
        return false;
    uint32_t cand = 0;
    if (take == 0 && item.first_cluster_no >= ts->start_clus && owns_first_cluster(pdp, ts->cursor, item)) {
        cand = item.first_cluster_no;
    } else if (!backward) {
        if (index_search(pdp, INDEX_SEARCH_START, ts->cursor, ts->end_clus, &cand, ch) != FS_OK)
            return false;
    } else {
        return false;
    }
    if (cand == 0 || cand < ts->start_clus || cand > ts->end_clus)
        return false;
    wfs_time start = 0;
    if (get_dir_item_time(pdp, cand, &start) != FS_OK)
        return false;
    ts->cursor = cand;
    ts->cand_time = start;
    return true;
}

}  // namespace

uint32_t file_next_record(FileHandle *h, uint8_t ch, wfs_time b, wfs_time c, int take, uint32_t driver_type_mask,
                          int backward, uint8_t stream_type)
{
    if (wfs_file_check_handle(h, kSrcFile, SITE_NEXT_RECORD) != FS_OK)
        return 0;
    TimeSection *winner = nullptr;
    for (TimeSection *ts = h->sections; ts != nullptr; ts = ts->next) {
        if (ts->state == SECTION_STATE_DONE || ts->owner == nullptr ||
            !section_type_in_mask(ts->owner->driver_type, driver_type_mask))
            continue;
        if (b > ts->end_time || c < ts->start_time) {
            ts->state = SECTION_STATE_DONE;
            continue;
        }
        if (ts->state == SECTION_STATE_NEW) {
            // Only worth positioning while it may hold something nearer than
            // the best candidate so far.
            const bool worth = winner == nullptr || (backward ? winner->cand_time <= ts->end_time
                                                              : winner->cand_time >= ts->start_time);
            if (!worth)
                continue;
            if (!position_section(h, ts, ch, b, c, take, backward, stream_type)) {
                ts->state = SECTION_STATE_DONE;
                continue;
            }
            ts->state = SECTION_STATE_POSITIONED;
        }
        if (ts->state == SECTION_STATE_POSITIONED) {
            if (!take_candidate(ts, ch, b, c, take, backward)) {
                ts->state = SECTION_STATE_DONE;
                continue;
            }
            ts->state = SECTION_STATE_CANDIDATE;
        }
        if (ts->state == SECTION_STATE_CANDIDATE &&
            (winner == nullptr ||
             (backward ? ts->cand_time > winner->cand_time : ts->cand_time < winner->cand_time)))
            winner = ts;
    }
    if (winner == nullptr)
        return 0;
    const uint32_t result = winner->cursor;
    h->found_time = winner->cand_time;
    h->pdp = winner->owner;
    advance_section(winner, ch, backward);
    return result;
}
