#include "app/fs/CFSFileFind.h"

#include <cstring>

#include "app/fs/FileSystemRegistry.h"

CFSFileFind::CFSFileFind() : m_hFind(-1), m_ops(*OsFileSystemOps())
{
    std::memset(&m_data, 0, sizeof m_data);
}

CFSFileFind::~CFSFileFind() { Close(); }

void CFSFileFind::PrimeName()
{
    // The record's name starts as the directory part; the layer overwrites it.
    size_t n = m_strRoot.size() < FIND_NAME_MAX - 1 ? m_strRoot.size() : FIND_NAME_MAX - 1;
    std::memcpy(m_data.name, m_strRoot.data(), n);
    m_data.name[n] = '\0';
}

bool CFSFileFind::FindFile(const char *pattern)
{
    Close();
    if (!pattern)
        return false;
    m_ops = FindFileSystem(pattern);
    std::string p(pattern);
    size_t slash = p.rfind('/');
    m_strRoot = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    PrimeName();
    m_hFind = m_ops.find_first(pattern, &m_data);
    return m_hFind != -1;
}

bool CFSFileFind::FindNextFile()
{
    if (m_hFind == -1)
        return false;
    PrimeName();
    return m_ops.find_next(m_hFind, &m_data) != -1;
}

void CFSFileFind::Close()
{
    if (m_hFind != -1) {
        m_ops.find_close(m_hFind);
        m_hFind = -1;
    }
}

uint64_t CFSFileFind::GetLength() { return m_data.size / 1024; }

std::string CFSFileFind::GetFileName() { return m_data.name; }

std::string CFSFileFind::GetRoot() { return m_strRoot; }

bool CFSFileFind::IsReadOnly() { return m_data.attrib & FIND_ATTR_READONLY; }

bool CFSFileFind::IsDirectory() { return m_data.attrib & FIND_ATTR_DIRECTORY; }

bool CFSFileFind::IsHidden() { return m_data.attrib & FIND_ATTR_HIDDEN; }

bool CFSFileFind::IsNormal() { return m_data.attrib == 0; }
