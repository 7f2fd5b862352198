#include "platform/GstInit.h"

#include <gst/gst.h>

#include <mutex>

namespace qelvo {

void keepGlibSyncForTsan();

bool ensureGstreamer() {
    keepGlibSyncForTsan();
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ok = gst_init_check(nullptr, nullptr, &error);
        if (error) g_error_free(error);
    });
    return ok;
}

std::vector<std::string> missingGstreamerElements() {
    static const char* const kNeeded[] = {
        "videotestsrc", "videoconvert", "videoscale",   "appsink",     "fakesink", "tee",
        "queue",        "avimux",       "filesink",     "avenc_mpeg4", "playbin",  "capsfilter",
        "clockoverlay", "timeoverlay",  "videobalance", "avidemux",
    };
    std::vector<std::string> missing;
    if (!ensureGstreamer()) return {"gstreamer"};
    for (const char* name : kNeeded) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory)
            missing.emplace_back(name);
        else
            gst_object_unref(factory);
    }
    return missing;
}

}  // namespace qelvo
