#include "media/GstInit.h"

#include <gst/gst.h>

#include <ctime>
#include <mutex>

namespace qelvo {

void keepGlibSyncForTsan();

bool ensureGstreamer() {
    keepGlibSyncForTsan();
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        // Reads the time zone once, before any streaming thread exists.  Elements that call
        // localtime() or strftime() on their own threads (the clock overlay) then find it
        // read and never rewrite glibc's time zone state concurrently.
        ::tzset();
        GError* error = nullptr;
        ok = gst_init_check(nullptr, nullptr, &error);
        if (error) g_error_free(error);
    });
    return ok;
}

const std::vector<GstreamerElement>& gstreamerElements() {
    static const std::vector<GstreamerElement> elements = {
#include "media/GstElementTable.inc"
    };
    return elements;
}

bool gstreamerElementInstalled(const char* name) {
    if (!ensureGstreamer()) return false;
    GstElementFactory* factory = gst_element_factory_find(name);
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

std::vector<std::string> missingGstreamerElements() {
    if (!ensureGstreamer()) return {"gstreamer"};
    std::vector<std::string> missing;
    for (const GstreamerElement& element : gstreamerElements())
        if (!element.optional && !gstreamerElementInstalled(element.name))
            missing.emplace_back(element.name);
    return missing;
}

}  // namespace qelvo
