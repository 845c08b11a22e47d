// CFSFile: the file object through which recordings of a recorder disk and
// ordinary local files are read and written. The path's prefix selects the
// file system (FindFileSystem); every operation holds the process-wide
// critical section for its whole duration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/fs/FileSystemOps.h"

class CFSFile {
public:
    // Open flags: bits 0-3 access, plus create and do-not-truncate.
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
    };

    CFSFile();
    virtual ~CFSFile();
    CFSFile(const CFSFile &) = delete;
    CFSFile &operator=(const CFSFile &) = delete;

    virtual bool Open(const char *path, unsigned flags);
    virtual void Close();
    virtual size_t Read(void *buf, size_t n);
    virtual size_t Write(const void *buf, size_t n);
    virtual void Flush();
    // whence 0, 1, 2 as for fseek; any other value is taken as 0. Returns the
    // new position, or 0 when the seek failed ("CFSFile::Seek pos=%d" is logged).
    virtual uint64_t Seek(int64_t offset, int whence);
    virtual uint64_t GetPosition();
    virtual uint64_t GetLength();
    virtual char *ReadString(char *buf, int n);
    virtual int WriteString(const char *text);
    virtual bool IsOpen();
    virtual std::string GetFilePath();

    // Reads the whole file into a buffer kept by this object (freed by
    // FreeBuffer or the destructor). Null when the file is empty, cannot be
    // opened or read, or is too large for memory.
    const uint8_t *ReadAll(const char *path, unsigned flags = modeRead);
    size_t GetBufferLength() const { return m_buffer.size(); }
    void FreeBuffer();

    // Path operations, each dispatched by the path's prefix; true when the
    // file system's operation returned 0.
    static bool Rename(const char *old_path, const char *new_path);
    static bool Remove(const char *path);
    static bool MakeDirectory(const char *path);
    static bool RemoveDirectory(const char *path);
    static bool Access(const char *path, int mode);
    // Without the critical section.
    static bool DiskSpace(const char *path, uint64_t *free_bytes, uint64_t *total_bytes,
                          uint64_t *free_bytes2);

    // Mode text for open flags ("rb", "wb", "ab", "rb+", "wb+", "ab+", or "").
    static const char *ModeText(unsigned flags);

private:
    void *m_pStream;
    std::string m_strFilePath;
    std::vector<uint8_t> m_buffer;
    bool m_bBufferLoaded;
    uint64_t m_nLength;
    FileSystemOps m_ops;
};
