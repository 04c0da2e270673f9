#pragma once

// glibc keeps what a program frees for its next allocations; these give it back to the system.
// Both are no-ops with another C library.

// Hands freed memory back, from every thread's heap.
void returnFreedMemory();

// From the first call on, buffers of 4 MB and more are mapped on their own and unmapped when
// freed, whichever thread frees them. Left to itself, glibc raises that threshold once such a
// buffer is freed, and with it the point at which a heap gives its top back: every thread heap
// of a parallel encoder could then keep up to 64 MB, which returnFreedMemory does not reach.
void keepLargeBuffersMapped();
