#include "app/play/PlaySource.h"

#include "app/play/PlayPaths.h"

#include <QFile>
#include <QMutex>

// Holds the disk lock for one call on a recorder disk; nothing for a local file.
class CPlaySource::Lock
{
public:
    explicit Lock(const CPlaySource& source)
        : m_pMutex(source.m_bDisk ? source.m_pDiskLock : nullptr)
    {
        if (m_pMutex)
            m_pMutex->lock();
    }
    ~Lock()
    {
        if (m_pMutex)
            m_pMutex->unlock();
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    QMutex* m_pMutex;
};

CPlaySource::CPlaySource(QMutex* pDiskLock)
    : m_pDiskLock(pDiskLock)
{
}

CPlaySource::~CPlaySource()
{
    Close();
}

bool CPlaySource::Open(const QString& strPath)
{
    Close();
    m_bDisk = IsRecorderDiskPath(strPath);
    const QByteArray path = m_bDisk ? strPath.toUtf8() : QFile::encodeName(strPath);
    return m_file.Open(path.constData(), CFSFile::modeRead);
}

void CPlaySource::Close()
{
    if (m_file.IsOpen())
        m_file.Close();
}

bool CPlaySource::IsOpen()
{
    return m_file.IsOpen();
}

uint64_t CPlaySource::Length()
{
    Lock lock(*this);
    return m_file.GetLength();
}

bool CPlaySource::SeekUnlocked(uint64_t nPos)
{
    if (m_bDisk) {
        // The recorder's file layer positions relative to the start most
        // reliably; go back to 0 first.
        m_file.Seek(0, 0);
    }
    if (nPos > uint64_t(INT64_MAX))
        return false;
    return m_file.Seek(int64_t(nPos), 0) == nPos;
}

bool CPlaySource::SeekTo(uint64_t nPos)
{
    Lock lock(*this);
    return SeekUnlocked(nPos);
}

size_t CPlaySource::Read(uint8_t* pBuf, size_t n)
{
    Lock lock(*this);
    return m_file.Read(pBuf, n);
}

size_t CPlaySource::ReadAt(uint64_t nPos, uint8_t* pBuf, size_t n)
{
    Lock lock(*this);
    if (!SeekUnlocked(nPos))
        return 0;
    return m_file.Read(pBuf, n);
}
