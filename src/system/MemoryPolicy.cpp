#include "system/MemoryPolicy.h"

#include <cstdlib>  // brings in the C library's own macros, __GLIBC__ among them

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qelvo {

void useSteadyMemoryPolicy() {
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);  // setting it also stops the automatic raising
#endif
}

}  // namespace qelvo
