#ifndef ORVELLE_APP_PLAY_PLAYSOURCE_H
#define ORVELLE_APP_PLAY_PLAYSOURCE_H

// The recording data a play channel reads: a recording of a recorder disk
// through the recorder's file system, or a local file. Every read, seek and
// length query of a recorder disk holds the disk lock for that one call, so
// play, index, export and cut threads take turns on the disk.

#include "app/fs/CFSFile.h"

#include <QString>

#include <cstddef>
#include <cstdint>

class QMutex;

class CPlaySource
{
public:
    // diskLock: the application's disk lock (may be null in tools and tests).
    explicit CPlaySource(QMutex* pDiskLock);
    ~CPlaySource();
    CPlaySource(const CPlaySource&) = delete;
    CPlaySource& operator=(const CPlaySource&) = delete;

    // Opens the path for reading; false when it does not open.
    bool Open(const QString& strPath);
    void Close();
    bool IsOpen();

    // Length in bytes (0 when unknown).
    uint64_t Length();
    // Positions the next read; false when the position could not be set.
    bool SeekTo(uint64_t nPos);
    // Reads up to n bytes at the current position; the count read.
    size_t Read(uint8_t* pBuf, size_t n);
    // Seeks and reads in one hold of the disk lock.
    size_t ReadAt(uint64_t nPos, uint8_t* pBuf, size_t n);

private:
    class Lock;
    bool SeekUnlocked(uint64_t nPos);

    QMutex* m_pDiskLock;
    bool m_bDisk = false;
    CFSFile m_file;
};

#endif
