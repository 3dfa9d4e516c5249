#pragma once

#include <malloc.h>

// Every fit allocates its Jacobian and its model's work: hundreds of
// kilobytes, freed again at its end, and a diagnosis runs several fits
// and a score test. By default the allocator hands such memory back to
// the system and the next use faults it in afresh (a third of an order-8
// diagnosis went on that when every step had its own QR). A process that
// fits keeps what it frees below 4 MiB for its next use; larger blocks (a
// million points' arrays) still go back when freed. Called once, at the
// start of main.
namespace varnel {

inline void keepFreedMemoryForFits() {
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

} // namespace varnel
