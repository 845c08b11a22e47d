// Pieces shared by the writer's files.
#pragma once

#include <cstdint>

#include "wfs/file/handle.h"

struct DriverParam;

// The writing handles, so that a full ring can suspend and move them all.
void writer_register(FileHandle *h);
void writer_unregister(FileHandle *h);
// Live writing handles (current generation, open or suspended) on pdp.
int writer_collect(const DriverParam *pdp, FileHandle **out, int max);

// Takes the next cluster for the handle and links it into its recording
// (or starts the recording with it). 0 or a status.
unsigned set_new_clus(FileHandle *h);

// Closes the recording at t without touching the handle's open state.
unsigned writer_close_at(FileHandle *h, wfs_time t);

// Starts a fresh recording on the handle (no cluster yet) at time t.
void writer_begin_recording(FileHandle *h, wfs_time t);

// The writer's recording counter (repeat_no of each new recording).
uint8_t writer_next_repeat_no(void);

// Saves the driver's parameter block and, when marked, its collision sector.
void writer_save_driver(DriverParam *pdp);

// The partition is being written: status 0 on disk until the last writer
// closes.
void writer_mark_busy(DriverParam *pdp);
void writer_mark_idle_if_unused(DriverParam *pdp);

// The driver's ring is full: every writing handle on it closes its
// recording and goes on, in special mode, on the next driver of the ring.
// Returns that driver.
DriverParam *writer_disk_over(DriverParam *full);
// Clusters the driver can take before the end of its ring (writable ones
// assumed).
uint64_t writer_clusters_left(const DriverParam *pdp);

// Writes a cluster's index byte whatever the byte was before.
unsigned writer_put_index(DriverParam *pdp, uint32_t clus, uint8_t value, bool flush);
