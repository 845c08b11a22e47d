// Moving a positioned handle inside its recording.
//
// Positions are sector counts from the start of the recording's first
// cluster. Sector p (p >= 1) lies in the recording's cluster
// k = (p - 1) / sec_per_clus (0-based along the chain) at offset
// p - k * sec_per_clus, so a position on a cluster boundary stays at the end
// of the earlier cluster; p = 0 is cluster 0, offset 0. Time positions are
// interpolated linearly inside a cluster, in steps of 16 sectors, because the
// directory only knows when each cluster was opened and closed.
//
// Every call validates the handle (FS_INVALID_HANDLE) and returns
// FS_NO_EXIST_FILE when it is not positioned. A move that fails leaves the
// handle where it was.
#pragma once

#include <cstdint>

#include "wfs/file/handle.h"

// Sector offsets of a time position are multiples of this.
enum { WFS_TIME_STEP_SECTORS = 16 };

// Absolute move to sector p: FS_OK, FS_BEYOND_FILE (p beyond the recording
// or its chain too short), or a directory error.
unsigned wfs_file_moveto_len(FileHandle *h, uint64_t p);

// The same, walking from the current cluster instead of the first one
// (backwards through the index when p lies in an earlier cluster).
unsigned wfs_file_moveto_len_relative(FileHandle *h, uint64_t p);

// Move to the wall-clock time t: before the start to 0, at or after the end
// to the last sector, otherwise into the cluster open at t.
unsigned wfs_file_moveto_time(FileHandle *h, wfs_time t);

// Move by seconds (dir 0 forward, else back) at the current cluster's rate.
// FS_OK whenever the handle is positioned.
unsigned wfs_file_move_second(FileHandle *h, int dir, uint32_t seconds);

// Move by sectors (dir 0 forward, else back; back past 0 stops at 0).
unsigned wfs_file_move_size(FileHandle *h, int dir, uint64_t sectors);

// Time of the current position.
unsigned wfs_file_cur_time(FileHandle *h, wfs_time *out);

// Duration in seconds of the current cluster (at least 1): the cluster's
// own times, or the recording's spread over its clusters for a first
// cluster.
uint32_t wfs_file_cluster_rate(const FileHandle *h);

// Positions target on channel ch at the time of source's position.
// FS_OK (also when source already is on ch), FS_NO_EXIST_FILE, or the time
// move's result.
unsigned wfs_file_sync(FileHandle *source, uint8_t ch, FileHandle *target);

// The same into a new reading handle, a copy of source. 1 when no handle is
// free; *out is set only on success.
unsigned fs_file_open_near(FileHandle *source, uint8_t ch, FileHandle **out);
