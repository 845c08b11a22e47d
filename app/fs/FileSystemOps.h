// The table of file-system operations that CFSFile and CFSFileFind dispatch
// through. One table serves the local file system; another the recorder's
// name layer. Streams are opaque pointers of the table's own kind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wfs/file/find_data.h"

struct FileSystemOps {
    void *(*open)(const char *path, const char *mode);                        // 0
    int (*close)(void *stream);                                               // 1
    size_t (*read)(void *buf, size_t size, size_t count, void *stream);       // 2
    size_t (*write)(const void *buf, size_t size, size_t count, void *stream);  // 3
    int (*flush)(void *stream);                                               // 4
    int (*seek)(void *stream, int64_t offset, int whence);                    // 5
    int64_t (*tell)(void *stream);                                            // 6
    char *(*read_line)(char *buf, int size, void *stream);                    // 7
    int (*write_line)(const char *text, void *stream);                        // 8
    int (*access)(const char *path, int mode);                                // 9
    int (*rename)(const char *old_path, const char *new_path);                // 10
    int (*remove)(const char *path);                                          // 11
    intptr_t (*find_first)(const char *pattern, find_data *out);              // 12
    int (*find_next)(intptr_t find, find_data *out);                          // 13
    int (*find_close)(intptr_t find);                                         // 14
    int (*make_dir)(const char *path);                                        // 15
    int (*remove_dir)(const char *path);                                      // 16
    int (*disk_space)(const char *path, uint64_t *free_bytes, uint64_t *total_bytes,
                      uint64_t *free_bytes2);                                 // 17
};

// The local file system's table.
const FileSystemOps *OsFileSystemOps();
