// The one process-wide critical section around file objects and the
// recorder file-system library: the library is entered by one thread at a
// time. It is recursive, so a holder may call CFSFile operations.
#pragma once

#include <mutex>

std::recursive_mutex &FSCriticalSection();

// Holds the critical section for a scope.
class CFSLocker {
public:
    CFSLocker() : m_lock(FSCriticalSection()) {}

private:
    std::lock_guard<std::recursive_mutex> m_lock;
};
