// The ordered list of time sections that one search walks.
//
// Built afresh for every search over all mounted drivers that are not
// marked bad: every section in use (collision_count + 2 per driver) whose
// cluster range and time range are not reversed. Forward lists run by
// increasing start time, backward lists by decreasing end time; equal keys
// keep the earlier section first. The list is threaded through the
// sections' own next links, so building a new list ends the previous one.
#pragma once

#include "wfs/file/handle.h"

#include <cstdint>

// Working states of a section during a search (TimeSection::state).
const uint32_t SECTION_STATE_NEW = 0;           // not yet positioned
const uint32_t SECTION_STATE_POSITIONED = 1;    // cursor placed
const uint32_t SECTION_STATE_CANDIDATE = 2;     // cursor holds a candidate recording
const uint32_t SECTION_STATE_DONE = 0xFFFFFFFFu;  // exhausted (-1)

// Builds the list into h->sections (null when no section qualifies) and
// returns the number of sections on it.
int file_build_section_list(FileHandle *h, int backward);

// True when bit driver_type of mask is set (types above 31 match nothing).
bool section_type_in_mask(unsigned driver_type, uint32_t mask);
