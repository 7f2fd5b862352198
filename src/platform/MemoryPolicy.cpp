#include "platform/MemoryPolicy.h"

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
