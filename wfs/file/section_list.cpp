// Building the ordered section list of a search.
#include "wfs/file/section_list.h"

#include "wfs/volume/layout.h"
#include "wfs/volume/mount.h"

namespace {

// Whether section i of a driver takes part in searches. A partition
// without recordings (current_cluster 0) has none; the sections after the
// first are unused while their start cluster is 0.
bool section_usable(const DriverParam *pdp, int i, const TimeSection *ts)
{
    if (pdp->current_cluster == 0)
        return false;
    if (i > 0 && ts->start_clus == 0)
        return false;
    return ts->end_clus >= ts->start_clus && ts->start_time <= ts->end_time;
}

// True when a belongs before b in the list.
bool precedes(const TimeSection *a, const TimeSection *b, int backward)
{
    return backward ? a->end_time > b->end_time : a->start_time < b->start_time;
}

}  // namespace

bool section_type_in_mask(unsigned driver_type, uint32_t mask)
{
    return driver_type < 32 && (mask >> driver_type) & 1u;
}

int file_build_section_list(FileHandle *h, int backward)
{
    if (h == nullptr)
        return 0;
    TimeSection *head = nullptr;
    int n = 0;
    for (DriverParam &d : g_drivers) {
        if (!driver_slot_used(&d) || d.bad_status == BAD_STATUS_MARKED || d.time_sections == nullptr)
            continue;
        int count = time_section_count(&d);
        if (count > WFS_TIME_SECTIONS)
            count = WFS_TIME_SECTIONS;
        for (int i = 0; i < count; ++i) {
            TimeSection *ts = &d.time_sections[i];
            ts->next = nullptr;
            if (!section_usable(&d, i, ts))
                continue;
            ts->owner = &d;
            ts->state = SECTION_STATE_NEW;
            ts->cursor = ts->start_clus;
            ts->cand_time = 0;
            TimeSection **link = &head;
            while (*link != nullptr && !precedes(ts, *link, backward))
                link = &(*link)->next;
            ts->next = *link;
            *link = ts;
            ++n;
        }
    }
    h->sections = head;
    return n;
}
