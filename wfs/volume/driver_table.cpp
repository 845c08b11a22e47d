// The 32 driver slots, the work-driver rings and the change counter.
#include <cstring>

#include "wfs/common/log.h"
#include "wfs/file/wfs_time.h"
#include "wfs/volume/mount.h"

DriverParam g_drivers[WFS_DRIVER_SLOTS];
WorkDriverRing g_work_drivers[DRIVER_TYPE_RINGS];

// Each slot's own buffers; a slot keeps them for the life of the process.
static uint32_t g_slot_collision[WFS_DRIVER_SLOTS][COLLISION_ENTRIES];
static TimeSection g_slot_sections[WFS_DRIVER_SLOTS][WFS_TIME_SECTIONS];
static uint8_t g_slot_face[WFS_DRIVER_SLOTS][FACE_LIB_RECORD_SIZE];

static uint32_t g_change_counter = 0;

uint32_t wfs_fs_generation(void) { return g_change_counter; }

// Frees every slot and empties the rings (called by initialisation).
void reset_driver_slots(void)
{
    for (int i = 0; i < WFS_DRIVER_SLOTS; ++i) {
        DriverParam &d = g_drivers[i];
        std::memset(&d, 0, sizeof d);
        d.driver_type = DRIVER_TYPE_FREE;
        d.collision_clusters = g_slot_collision[i];
        d.time_sections = g_slot_sections[i];
        d.face_lib_record = g_slot_face[i];
        std::memset(g_slot_collision[i], 0, sizeof g_slot_collision[i]);
        std::memset(g_slot_sections[i], 0, sizeof g_slot_sections[i]);
        std::memset(g_slot_face[i], 0, sizeof g_slot_face[i]);
    }
    for (WorkDriverRing &r : g_work_drivers) {
        r.head = nullptr;
        r.count = 0;
    }
}

bool driver_slot_used(const DriverParam *pdp) { return pdp != nullptr && pdp->driver_type != DRIVER_TYPE_FREE; }

DriverParam *get_pdp(int disk, int part)
{
    for (DriverParam &d : g_drivers) {
        if (driver_slot_used(&d) && d.dev == static_cast<uint32_t>(disk) && d.part == static_cast<uint32_t>(part))
            return &d;
    }
    return nullptr;
}

int get_empty_driver(void)
{
    for (int i = 0; i < WFS_DRIVER_SLOTS; ++i) {
        if (!driver_slot_used(&g_drivers[i]))
            return i;
    }
    return -1;
}

int clear_driver(int disk, int part)
{
    if (disk >= 0 && disk < WFS_KEY_PARAM_DISKS && part >= 0 && part < WFS_PARTS_PER_DISK)
        std::memset(&g_part_key_param[disk][part], 0, sizeof(KeyParamBlock));
    DriverParam *pdp = get_pdp(disk, part);
    if (pdp == nullptr)
        return -1;
    bool in_ring = pdp->next != nullptr;
    pdp->driver_type = DRIVER_TYPE_FREE;
    pdp->prev = pdp->next = nullptr;
    // A ring must never lead to a free slot.
    if (in_ring)
        g_fs_change();
    return 0;
}

// Puts `d` into the ring just before `at`.
static void insert_before(DriverParam *at, DriverParam *d)
{
    d->next = at;
    d->prev = at->prev;
    at->prev->next = d;
    at->prev = d;
}

static void build_ring(int type)
{
    WorkDriverRing &ring = g_work_drivers[type];
    ring.head = nullptr;
    ring.count = 0;

    // Head: the member with the newest end_time1; the first slot wins a tie.
    DriverParam *head = nullptr;
    for (DriverParam &d : g_drivers) {
        if (!driver_slot_used(&d) || d.driver_type != static_cast<uint32_t>(type) || d.bad_status != 0)
            continue;
        ++ring.count;
        if (head == nullptr || d.end_time1 > head->end_time1)
            head = &d;
    }
    if (head == nullptr)
        return;

    // On recording and picture partitions a driver of another generation is
    // only a second choice.
    if ((type == DRIVER_TYPE_RECORD || type == DRIVER_TYPE_PICTURE) && head->generation != 0) {
        DriverParam *alt = nullptr;
        for (DriverParam &d : g_drivers) {
            if (!driver_slot_used(&d) || d.driver_type != static_cast<uint32_t>(type) || d.bad_status != 0 ||
                d.generation != 0)
                continue;
            if (alt == nullptr || d.end_time1 > alt->end_time1)
                alt = &d;
        }
        if (alt != nullptr)
            head = alt;
    }

    head->next = head->prev = head;
    ring.head = head;
    // The others, in slot order, before the first member after the head
    // whose recordings start later than their own.
    for (DriverParam &d : g_drivers) {
        if (&d == head || !driver_slot_used(&d) || d.driver_type != static_cast<uint32_t>(type) ||
            d.bad_status != 0)
            continue;
        DriverParam *at = head->next;
        while (at != head && at->start_time1 <= d.start_time1)
            at = at->next;
        insert_before(at, &d);
    }

    if (type == DRIVER_TYPE_RECORD) {
        DriverParam *d = head;
        do {
            wfs_time_fields a, b;
            wfs_time_unpack(d->start_time1, &a);
            wfs_time_unpack(d->end_time1, &b);
            wfs_event("WFS1", "%d-%d %d/%d-%d:%d:%d ~ %d/%d-%d:%d:%d", static_cast<int>(d->dev) + 1,
                      static_cast<int>(d->part) + 1, a.month, a.day, a.hour, a.minute, a.second, b.month, b.day,
                      b.hour, b.minute, b.second);
            d = d->next;
        } while (d != head);
    }
}

void g_fs_change(void)
{
    for (DriverParam &d : g_drivers)
        d.prev = d.next = nullptr;
    for (int t = 0; t < DRIVER_TYPE_RINGS; ++t)
        build_ring(t);
    ++g_change_counter;
    wfs_trace("g_fs_change: %d\n", static_cast<int>(g_change_counter));
}

DriverParam *get_work_driver(int type)
{
    if (type < 0 || type >= DRIVER_TYPE_RINGS)
        return nullptr;
    return g_work_drivers[type].head;
}

int get_work_driver_count(int type)
{
    if (type < 0 || type >= DRIVER_TYPE_RINGS)
        return 0;
    return g_work_drivers[type].count;
}

bool is_work_driver(const DriverParam *pdp)
{
    if (!driver_slot_used(pdp) || pdp->driver_type >= DRIVER_TYPE_RINGS)
        return false;
    return g_work_drivers[pdp->driver_type].head == pdp;
}
