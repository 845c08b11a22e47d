// One directory entry as the find functions of every file layer report it
// (the recorder's name layer and the local file system alike).
#pragma once

#include <cstdint>

enum {
    FIND_NAME_MAX = 108,       // name field, zero-terminated (at most 107 characters)
    FIND_ATTR_READONLY = 0x01,
    FIND_ATTR_HIDDEN = 0x02,
    FIND_ATTR_DIRECTORY = 0x10,
};

struct find_data {
    char name[FIND_NAME_MAX];
    uint32_t attrib;  // local files only: bit 0 read-only, bit 1 hidden, bit 4 directory
    int64_t time;     // time_t: last write, or a recording's start (local time)
    uint64_t size;    // bytes
};
