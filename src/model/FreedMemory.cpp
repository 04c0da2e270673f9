#include "model/FreedMemory.h"

#include <QtGlobal>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void returnFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void keepLargeBuffersMapped()
{
#ifdef __GLIBC__
    static const bool pinned = ::mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024) == 1;
    Q_UNUSED(pinned);
#endif
}
