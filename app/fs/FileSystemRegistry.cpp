#include "app/fs/FileSystemRegistry.h"

#include <cstring>
#include <mutex>

namespace {

struct Entry {
    char prefix[kFileSystemPrefixMax + 1];
    FileSystemOps ops;
};

struct Registry {
    std::mutex mutex;
    Entry entries[kFileSystemEntries + 1];  // entry 0: the local file system

    Registry()
    {
        std::memset(entries, 0, sizeof entries);
        entries[0].ops = *OsFileSystemOps();
    }
};

Registry &registry()
{
    static Registry r;
    return r;
}

}  // namespace

int RegisterFileSystem(const char *prefix, const FileSystemOps *ops)
{
    if (!prefix)
        return -1;
    size_t len = strnlen(prefix, kFileSystemPrefixMax + 1);
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!ops) {
        int cleared = -1;
        for (int i = 1; i <= kFileSystemEntries; ++i) {
            if (r.entries[i].prefix[0] && std::strcmp(r.entries[i].prefix, prefix) == 0) {
                std::memset(&r.entries[i], 0, sizeof r.entries[i]);
                cleared = 0;
            }
        }
        return cleared;
    }
    if (len == 0 || len > kFileSystemPrefixMax)
        return -1;
    for (int i = 1; i <= kFileSystemEntries; ++i) {
        if (!r.entries[i].prefix[0]) {
            std::memcpy(r.entries[i].prefix, prefix, len + 1);
            r.entries[i].ops = *ops;
            return i;
        }
    }
    return -1;
}

FileSystemOps FindFileSystem(const char *path)
{
    Registry &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (path) {
        for (int i = 1; i <= kFileSystemEntries; ++i) {
            const char *prefix = r.entries[i].prefix;
            if (prefix[0] && std::strncmp(path, prefix, std::strlen(prefix)) == 0)
                return r.entries[i].ops;
        }
    }
    return r.entries[0].ops;
}
