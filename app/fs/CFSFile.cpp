#include "app/fs/CFSFile.h"

#include <cinttypes>
#include <cstdio>
#include <new>

#include "app/fs/FSCriticalSection.h"
#include "app/fs/FileSystemRegistry.h"
#include "app/fs/OsFileSystem.h"

CFSFile::CFSFile()
    : m_pStream(nullptr), m_bBufferLoaded(false), m_nLength(0), m_ops(*OsFileSystemOps())
{
}

CFSFile::~CFSFile()
{
    if (m_pStream) {
        CFSLocker lock;
        m_ops.close(m_pStream);
        m_pStream = nullptr;
    }
}

const char *CFSFile::ModeText(unsigned flags)
{
    switch (flags & 0xF) {
    case 0:
        return "rb";
    case 1:
        return (flags & modeNoTruncate) ? "ab" : "wb";
    case 2:
        if (!(flags & modeCreate))
            return "rb+";
        return (flags & modeNoTruncate) ? "ab+" : "wb+";
    default:
        return "";
    }
}

bool CFSFile::Open(const char *path, unsigned flags)
{
    CFSLocker lock;
    if (m_pStream) {  // reopening: the previous stream is not leaked
        m_ops.close(m_pStream);
        m_pStream = nullptr;
    }
    m_strFilePath = path ? path : "";
    m_nLength = 0;
    if (!path)
        return false;
    m_ops = FindFileSystem(path);
    const char *mode = ModeText(flags);
    if (m_ops.open == OsFileSystemOps()->open)
        m_pStream = OsOpenFile(path, flags, mode);
    else if (*mode)
        m_pStream = m_ops.open(path, mode);
    return m_pStream != nullptr;
}

void CFSFile::Close()
{
    CFSLocker lock;
    if (m_pStream) {
        m_ops.close(m_pStream);
        m_pStream = nullptr;
    }
}

size_t CFSFile::Read(void *buf, size_t n)
{
    CFSLocker lock;
    if (!m_pStream || !buf)
        return 0;
    return m_ops.read(buf, 1, n, m_pStream);
}

size_t CFSFile::Write(const void *buf, size_t n)
{
    CFSLocker lock;
    if (!m_pStream || !buf)
        return 0;
    return m_ops.write(buf, 1, n, m_pStream);
}

void CFSFile::Flush()
{
    CFSLocker lock;
    if (m_pStream)
        m_ops.flush(m_pStream);
}

uint64_t CFSFile::Seek(int64_t offset, int whence)
{
    CFSLocker lock;
    if (!m_pStream)
        return 0;
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END)
        whence = SEEK_SET;
    int rc = m_ops.seek(m_pStream, offset, whence);
    if (rc != 0) {
        std::fprintf(stderr, "CFSFile::Seek pos=%d\n", rc);
        return 0;
    }
    return GetPosition();
}

uint64_t CFSFile::GetPosition()
{
    CFSLocker lock;
    if (!m_pStream)
        return 0;
    int64_t pos = m_ops.tell(m_pStream);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

uint64_t CFSFile::GetLength()
{
    CFSLocker lock;
    if (!m_bBufferLoaded && m_pStream) {
        uint64_t pos = GetPosition();
        uint64_t end = Seek(0, SEEK_END);
        if (end != 0)
            m_nLength = end;
        Seek(static_cast<int64_t>(pos), SEEK_SET);
    }
    return m_nLength;
}

char *CFSFile::ReadString(char *buf, int n)
{
    CFSLocker lock;
    if (!m_pStream || !buf || n <= 0)
        return nullptr;
    return m_ops.read_line(buf, n, m_pStream);
}

int CFSFile::WriteString(const char *text)
{
    CFSLocker lock;
    if (!m_pStream || !text)
        return 0;
    return m_ops.write_line(text, m_pStream);
}

bool CFSFile::IsOpen()
{
    CFSLocker lock;
    return m_pStream != nullptr;
}

std::string CFSFile::GetFilePath()
{
    CFSLocker lock;
    return m_strFilePath;
}

const uint8_t *CFSFile::ReadAll(const char *path, unsigned flags)
{
    FreeBuffer();
    if (!Open(path, flags))
        return nullptr;
    uint64_t len = GetLength();
    const uint8_t *result = nullptr;
    if (len > 0 && len <= SIZE_MAX) {
        try {
            m_buffer.resize(static_cast<size_t>(len));
        } catch (const std::bad_alloc &) {
            m_buffer.clear();
        }
        if (!m_buffer.empty()) {
            Seek(0, SEEK_SET);
            size_t got = 0;
            while (got < m_buffer.size()) {
                size_t n = Read(m_buffer.data() + got, m_buffer.size() - got);
                if (n == 0)
                    break;
                got += n;
            }
            m_buffer.resize(got);  // a file that shrank: keep what was read
            if (got > 0) {
                m_bBufferLoaded = true;
                m_nLength = got;
                result = m_buffer.data();
            } else {
                m_buffer.shrink_to_fit();
            }
        }
    }
    Close();
    return result;
}

void CFSFile::FreeBuffer()
{
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    m_bBufferLoaded = false;
}

bool CFSFile::Rename(const char *old_path, const char *new_path)
{
    if (!old_path || !new_path)
        return false;
    CFSLocker lock;
    return FindFileSystem(old_path).rename(old_path, new_path) == 0;
}

bool CFSFile::Remove(const char *path)
{
    if (!path)
        return false;
    CFSLocker lock;
    return FindFileSystem(path).remove(path) == 0;
}

bool CFSFile::MakeDirectory(const char *path)
{
    if (!path)
        return false;
    CFSLocker lock;
    return FindFileSystem(path).make_dir(path) == 0;
}

bool CFSFile::RemoveDirectory(const char *path)
{
    if (!path)
        return false;
    CFSLocker lock;
    return FindFileSystem(path).remove_dir(path) == 0;
}

bool CFSFile::Access(const char *path, int mode)
{
    if (!path)
        return false;
    CFSLocker lock;
    return FindFileSystem(path).access(path, mode) == 0;
}

bool CFSFile::DiskSpace(const char *path, uint64_t *free_bytes, uint64_t *total_bytes,
                        uint64_t *free_bytes2)
{
    if (!path)
        return false;
    return FindFileSystem(path).disk_space(path, free_bytes, total_bytes, free_bytes2) == 0;
}
