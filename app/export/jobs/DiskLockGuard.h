// Holds the process-wide disk lock, when there is one, for a single call into
// a recording (a read or a length query), so that play channels can read
// between the chunks of an export or a cut.
#pragma once

#include <QMutex>

class CDiskLockGuard
{
public:
    explicit CDiskLockGuard(QMutex* pLock) : m_pLock(pLock)
    {
        if (m_pLock)
            m_pLock->lock();
    }
    ~CDiskLockGuard()
    {
        if (m_pLock)
            m_pLock->unlock();
    }
    CDiskLockGuard(const CDiskLockGuard&) = delete;
    CDiskLockGuard& operator=(const CDiskLockGuard&) = delete;

private:
    QMutex* m_pLock;
};
