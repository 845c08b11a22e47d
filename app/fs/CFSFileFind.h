// CFSFileFind: enumerates a directory (a local folder, or one channel and day
// of a recorder partition) through the file system the pattern's prefix
// selects. It takes no lock: do not run it concurrently with CFSFile calls on
// the same file system.
#pragma once

#include <cstdint>
#include <string>

#include "app/fs/FileSystemOps.h"

class CFSFileFind {
public:
    CFSFileFind();
    // Closes a search that is still open, so its handle is never leaked.
    virtual ~CFSFileFind();
    CFSFileFind(const CFSFileFind &) = delete;
    CFSFileFind &operator=(const CFSFileFind &) = delete;

    virtual bool FindFile(const char *pattern);
    virtual bool FindNextFile();
    virtual void Close();
    virtual uint64_t GetLength();  // KB
    virtual std::string GetFileName();
    virtual std::string GetRoot();
    virtual bool IsReadOnly();
    virtual bool IsDirectory();
    virtual bool IsHidden();
    virtual bool IsNormal();

private:
    void PrimeName();

    intptr_t m_hFind;
    find_data m_data;
    FileSystemOps m_ops;
    std::string m_strRoot;
};
