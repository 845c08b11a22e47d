#include "media/common/AllocatorTuning.h"

#include <cstdlib>

#include <malloc.h>

namespace media {

void tune_allocator()
{
#ifdef M_MMAP_THRESHOLD
    if (!std::getenv("MALLOC_MMAP_THRESHOLD_"))
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace media
