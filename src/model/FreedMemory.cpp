#include "model/FreedMemory.h"

#include <QtGlobal>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void returnFreedMemory()
{
    // The address and thread sanitizers bring allocators of their own, whose memory glibc's
    // trim must not walk.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
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
