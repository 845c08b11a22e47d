#include "app/fs/FSCriticalSection.h"

std::recursive_mutex &FSCriticalSection()
{
    static std::recursive_mutex section;
    return section;
}
