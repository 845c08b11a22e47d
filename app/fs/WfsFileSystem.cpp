#include "app/fs/WfsFileSystem.h"

#include "app/fs/FileSystemRegistry.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"

namespace {

fs_file *as_fs(void *s) { return static_cast<fs_file *>(s); }

void *w_open(const char *path, const char *mode) { return fs_fopen(path, mode); }
int w_close(void *s) { return fs_fclose(as_fs(s)); }
size_t w_read(void *buf, size_t size, size_t count, void *s)
{
    return fs_fread(buf, size, count, as_fs(s));
}
size_t w_write(const void *buf, size_t size, size_t count, void *s)
{
    return fs_fwrite(buf, size, count, as_fs(s));
}
int w_flush(void *s) { return fs_fflush(as_fs(s)); }
int w_seek(void *s, int64_t offset, int whence) { return fs_fseek(as_fs(s), offset, whence); }
int64_t w_tell(void *s) { return fs_ftell(as_fs(s)); }
char *w_gets(char *buf, int size, void *s) { return fs_fgets(buf, size, as_fs(s)); }
int w_puts(const char *text, void *s) { return fs_fputs(text, as_fs(s)); }

const FileSystemOps k_wfs_ops = {
    w_open,       w_close,     w_read,       w_write,  w_flush,  w_seek,
    w_tell,       w_gets,      w_puts,       fs_access, fs_rename, fs_remove,
    fs_findfirst, fs_findnext, fs_findclose, fs_mkdir, fs_rmdir, fs_disk_space,
};

}  // namespace

const FileSystemOps *WfsFileSystemOps() { return &k_wfs_ops; }

int RegisterWfsFileSystem() { return RegisterFileSystem(WFS_PATH_PREFIX, &k_wfs_ops); }
