// ThreadSanitizer builds only.  GLib builds GMutex and GCond on futexes, which
// ThreadSanitizer cannot see, so every hand-over between GStreamer's threads (queues,
// object locks, task start) would look unsynchronised.  These wrappers take the place of
// GLib's functions for the whole process, call the originals and tell ThreadSanitizer about
// the ordering they establish.
#include "media/GstInit.h"

#if defined(__SANITIZE_THREAD__)
#define QELVO_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QELVO_TSAN 1
#endif
#endif

extern "C" {
void __tsan_acquire(void* addr);
void __tsan_release(void* addr);
}

namespace qelvo {
// Referenced by ensureGstreamer() so that a static link always keeps this file.
void keepGlibSyncForTsan() {}

#ifdef QELVO_TSAN
void tsanFrameReleased(const void* pixels) {
    __tsan_release(const_cast<void*>(pixels));
}
void tsanFrameReused(const void* pixels) {
    __tsan_acquire(const_cast<void*>(pixels));
}
#else
void tsanFrameReleased(const void*) {}
void tsanFrameReused(const void*) {}
#endif
}  // namespace qelvo

#ifdef QELVO_TSAN
#include <dlfcn.h>

// GLib types as the C functions see them: opaque pointers, int, 64-bit time.
using GMutex = void;
using GCond = void;
using gboolean = int;
using gint64 = long long;

namespace {

template <class Fn>
Fn real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

void g_mutex_lock(GMutex* mutex) {
    static auto fn = real<void (*)(GMutex*)>("g_mutex_lock");
    fn(mutex);
    __tsan_acquire(mutex);
}

gboolean g_mutex_trylock(GMutex* mutex) {
    static auto fn = real<gboolean (*)(GMutex*)>("g_mutex_trylock");
    const gboolean locked = fn(mutex);
    if (locked) __tsan_acquire(mutex);
    return locked;
}

void g_mutex_unlock(GMutex* mutex) {
    static auto fn = real<void (*)(GMutex*)>("g_mutex_unlock");
    __tsan_release(mutex);
    fn(mutex);
}

void g_cond_wait(GCond* cond, GMutex* mutex) {
    static auto fn = real<void (*)(GCond*, GMutex*)>("g_cond_wait");
    __tsan_release(mutex);
    fn(cond, mutex);
    __tsan_acquire(mutex);
    __tsan_acquire(cond);
}

gboolean g_cond_wait_until(GCond* cond, GMutex* mutex, gint64 end_time) {
    static auto fn = real<gboolean (*)(GCond*, GMutex*, gint64)>("g_cond_wait_until");
    __tsan_release(mutex);
    const gboolean signalled = fn(cond, mutex, end_time);
    __tsan_acquire(mutex);
    __tsan_acquire(cond);
    return signalled;
}

void g_cond_signal(GCond* cond) {
    static auto fn = real<void (*)(GCond*)>("g_cond_signal");
    __tsan_release(cond);
    fn(cond);
}

void g_cond_broadcast(GCond* cond) {
    static auto fn = real<void (*)(GCond*)>("g_cond_broadcast");
    __tsan_release(cond);
    fn(cond);
}

}  // extern "C"

#endif  // QELVO_TSAN
