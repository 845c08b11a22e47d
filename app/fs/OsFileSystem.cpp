#include "app/fs/OsFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

FILE *as_file(void *stream) { return static_cast<FILE *>(stream); }

void *os_open(const char *path, const char *mode) { return std::fopen(path, mode); }
int os_close(void *s) { return std::fclose(as_file(s)); }
size_t os_read(void *buf, size_t size, size_t count, void *s)
{
    return std::fread(buf, size, count, as_file(s));
}
size_t os_write(const void *buf, size_t size, size_t count, void *s)
{
    return std::fwrite(buf, size, count, as_file(s));
}
int os_flush(void *s) { return std::fflush(as_file(s)); }
int os_seek(void *s, int64_t offset, int whence)
{
    return fseeko(as_file(s), static_cast<off_t>(offset), whence);
}
int64_t os_tell(void *s) { return ftello(as_file(s)); }
char *os_gets(char *buf, int size, void *s) { return std::fgets(buf, size, as_file(s)); }
int os_puts(const char *text, void *s) { return std::fputs(text, as_file(s)); }
int os_access(const char *path, int mode) { return ::access(path, mode); }
int os_rename(const char *a, const char *b) { return std::rename(a, b); }
int os_remove(const char *path) { return std::remove(path); }
int os_mkdir(const char *path) { return ::mkdir(path, 0777); }
int os_rmdir(const char *path) { return ::rmdir(path); }

int os_disk_space(const char *path, uint64_t *free_bytes, uint64_t *total_bytes,
                  uint64_t *free_bytes2)
{
    struct statvfs st;
    if (statvfs(path, &st) == 0) {
        uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
        if (free_bytes)
            *free_bytes = uint64_t(st.f_bavail) * unit;
        if (total_bytes)
            *total_bytes = uint64_t(st.f_blocks) * unit;
        if (free_bytes2)
            *free_bytes2 = uint64_t(st.f_bfree) * unit;
    }
    return 0;  // the answer is advisory; callers do not act on a failure
}

// Open directory searches, keyed by a small positive number.
struct Search {
    DIR *dir;
    std::string dir_path;  // with trailing '/'
    std::string pattern;
};

struct Searches {
    std::mutex mutex;
    std::map<intptr_t, Search> open;
    intptr_t next = 1;
};

Searches &searches()
{
    static Searches s;
    return s;
}

// Fills out with the next entry of the search that matches; false at the end.
bool next_entry(Search &s, find_data *out)
{
    while (struct dirent *e = readdir(s.dir)) {
        const char *name = e->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        if (fnmatch(s.pattern.c_str(), name, 0) != 0)
            continue;
        size_t len = std::strlen(name);
        if (len >= FIND_NAME_MAX)
            continue;  // a name that does not fit the record is not reported cut short
        struct stat st;
        std::string full = s.dir_path + name;
        if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0)
            continue;
        std::memcpy(out->name, name, len + 1);
        out->attrib = 0;
        if (S_ISDIR(st.st_mode))
            out->attrib |= FIND_ATTR_DIRECTORY;
        if (name[0] == '.')
            out->attrib |= FIND_ATTR_HIDDEN;
        if (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)))
            out->attrib |= FIND_ATTR_READONLY;
        out->time = static_cast<int64_t>(st.st_mtime);
        out->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        return true;
    }
    return false;
}

intptr_t os_find_first(const char *pattern, find_data *out)
{
    if (!pattern || !out)
        return -1;
    std::string p(pattern);
    size_t slash = p.rfind('/');
    Search s;
    s.dir_path = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    s.pattern = slash == std::string::npos ? p : p.substr(slash + 1);
    if (s.pattern.empty())
        s.pattern = "*";
    s.dir = opendir(s.dir_path.empty() ? "." : s.dir_path.c_str());
    if (!s.dir)
        return -1;
    if (!next_entry(s, out)) {
        closedir(s.dir);
        return -1;
    }
    Searches &all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    intptr_t id = all.next++;
    all.open.emplace(id, s);
    return id;
}

int os_find_next(intptr_t find, find_data *out)
{
    Searches &all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.open.find(find);
    if (it == all.open.end() || !out)
        return -1;
    return next_entry(it->second, out) ? 0 : -1;
}

int os_find_close(intptr_t find)
{
    Searches &all = searches();
    std::lock_guard<std::mutex> lock(all.mutex);
    auto it = all.open.find(find);
    if (it == all.open.end())
        return -1;
    closedir(it->second.dir);
    all.open.erase(it);
    return 0;
}

const FileSystemOps k_os_ops = {
    os_open,  os_close,  os_read,   os_write,       os_flush,     os_seek,
    os_tell,  os_gets,   os_puts,   os_access,      os_rename,    os_remove,
    os_find_first, os_find_next, os_find_close, os_mkdir, os_rmdir, os_disk_space,
};

}  // namespace

const FileSystemOps *OsFileSystemOps() { return &k_os_ops; }

void *OsOpenFile(const char *path, unsigned flags, const char *mode)
{
    if (!path || !mode || !*mode)
        return nullptr;
    int oflags = O_CLOEXEC;
    switch (flags & 0xF) {
    case 0: oflags |= O_RDONLY; break;
    case 1: oflags |= O_WRONLY; break;
    case 2: oflags |= O_RDWR; break;
    default: return nullptr;
    }
    if (flags & 0x1000) {
        oflags |= O_CREAT;
        if (!(flags & 0x2000))
            oflags |= O_TRUNC;
    }
    int fd = ::open(path, oflags, 0666);
    if (fd < 0)
        return nullptr;
    FILE *f = fdopen(fd, mode);
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    return f;
}
