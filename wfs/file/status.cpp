#include "wfs/file/status.h"

const char *wfs_status_message(unsigned status)
{
    switch (status) {
    case FS_OK: return "success";
    case FS_NO_EXT_DIR: return "no extended directory area, or position beyond the recording";
    case FS_NOT_FOUND: return "not found or end of recording";
    case FS_READ_ERROR: return "sector could not be read";
    case FS_BAD_CLUSTER: return "cluster number out of range";
    case FS_NO_EXIST_FILE: return "no such recording";
    case FS_NO_USER_DATA: return "no user data for this recording";
    case FS_INVALID_HANDLE: return "invalid handle";
    case FS_AT_START: return "the start cluster already answers the search";
    case FS_NO_INDEX_AREA: return "the partition has no index area";
    default: return "unknown status";
    }
}
