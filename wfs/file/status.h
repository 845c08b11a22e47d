// Status codes of the recording layer (directory and index records, file
// handles, seeking, recording list). 0 is success; every other value names
// one reason a call did not do what was asked.
#pragma once

enum wfs_status : unsigned {
    FS_OK = 0,
    FS_NO_EXT_DIR = 2,        // the partition has no extended directory area
    FS_BEYOND_FILE = 2,       // seeks: the position lies beyond the recording
    FS_NOT_FOUND = 3,         // not found / end of recording (index scan left its range)
    FS_READ_ERROR = 4,        // a sector could not be read
    FS_BAD_CLUSTER = 5,       // cluster number greater than total_cluster
    FS_NO_EXIST_FILE = 6,     // no recording / handle not positioned on a cluster
    FS_NO_USER_DATA = 10,     // no user data for this recording
    FS_INVALID_HANDLE = 11,   // the handle is not (or no longer) valid
    FS_AT_START = 12,         // index scan: the start cluster itself answers the question
    FS_NO_INDEX_AREA = 13,    // the partition has no index area
};

// A short English description of a status code ("unknown status" for codes
// not listed above).
const char *wfs_status_message(unsigned status);
