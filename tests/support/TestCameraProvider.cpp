#include "support/TestCameraProvider.h"

#include "media/GstInit.h"

#include <gst/gst.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace qelvo::test {
namespace {

struct PluggedCamera {
    TestCamera camera;
    GstDevice* announced = nullptr;  // while the watching provider runs (one reference)
};

std::mutex camerasMutex;
std::vector<PluggedCamera> pluggedCameras;
GstDeviceProvider* watchingProvider = nullptr;  // while a monitor runs it

// --- the device: one test camera, which builds its source element --------------------------

struct QelvoTestCameraDevice {
    GstDevice parent;
    TestCamera* camera;
};
struct QelvoTestCameraDeviceClass {
    GstDeviceClass parent_class;
};

G_DEFINE_TYPE(QelvoTestCameraDevice, qelvo_test_camera_device, GST_TYPE_DEVICE)

GstElement* make(const char* factory, const char* name = nullptr) {
    return gst_element_factory_make(factory, name);
}

GstCaps* rawCaps(const TestCamera& c) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                               c.width, "height", G_TYPE_INT, c.height, "framerate",
                               GST_TYPE_FRACTION, c.fps, 1, nullptr);
}

// A bin of `first ! ... ! last` exposing last's src pad as "src".
GstElement* sourceBin(const char* name, std::initializer_list<GstElement*> chain) {
    GstElement* bin = gst_bin_new(name);
    GstElement* previous = nullptr;
    for (GstElement* e : chain) {
        gst_bin_add(GST_BIN(bin), e);
        if (previous) gst_element_link(previous, e);
        previous = e;
    }
    GstPad* src = gst_element_get_static_pad(previous, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", src));
    gst_object_unref(src);
    return bin;
}

GstElement* movingBars(const TestCamera& c, GstElement** filterOut) {
    (void)c;
    GstElement* src = make("videotestsrc");
    g_object_set(src, "is-live", TRUE, "horizontal-speed", 2, nullptr);
    gst_util_set_object_arg(G_OBJECT(src), "pattern", "smpte");
    GstElement* filter = make("capsfilter");
    GstCaps* caps = rawCaps(c);
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    *filterOut = filter;
    return src;
}

// The camera is lost as its stream starts: the first frame fails like a read from a removed
// device.
GstPadProbeReturn failFirstFrame(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    GstElement* element = gst_pad_get_parent_element(pad);
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                        "The device was disconnected.");
    gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, nullptr));
    g_error_free(error);
    gst_object_unref(element);
    gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
    return GST_PAD_PROBE_HANDLED;
}

GstElement* createCameraElement(GstDevice* device, const gchar* name) {
    const TestCamera& c = *reinterpret_cast<QelvoTestCameraDevice*>(device)->camera;
    GstElement* filter = nullptr;
    switch (c.kind) {
        case TestCameraKind::Raw: {
            GstElement* src = movingBars(c, &filter);
            return sourceBin(name, {src, filter});
        }
        case TestCameraKind::MotionJpeg: {
            // The encoder itself would accept any size; a camera states the sizes it has.
            GstElement* src = movingBars(c, &filter);
            GstElement* offered = make("capsfilter");
            GstCaps* caps = gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, c.width,
                                                "height", G_TYPE_INT, c.height, "framerate",
                                                GST_TYPE_FRACTION, c.fps, 1, nullptr);
            g_object_set(offered, "caps", caps, nullptr);
            gst_caps_unref(caps);
            return sourceBin(name, {src, filter, make("jpegenc"), offered});
        }
        case TestCameraKind::Vanished: {
            GstElement* src = make("v4l2src", name);
            g_object_set(src, "device", "/dev/qelvo-test-camera-that-was-unplugged", nullptr);
            return src;
        }
        case TestCameraKind::FailsWhenStarting: {
            GstElement* src = movingBars(c, &filter);
            GstPad* pad = gst_element_get_static_pad(filter, "src");
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, failFirstFrame, nullptr, nullptr);
            gst_object_unref(pad);
            return sourceBin(name, {src, filter});
        }
        case TestCameraKind::Undecodable: {
            GstElement* src = make("fakesrc");
            g_object_set(src, "is-live", TRUE, nullptr);
            GstElement* bayer = make("capsfilter");
            GstCaps* caps = gst_caps_new_simple(
                "video/x-bayer", "format", G_TYPE_STRING, "bggr", "width", G_TYPE_INT, c.width,
                "height", G_TYPE_INT, c.height, "framerate", GST_TYPE_FRACTION, c.fps, 1, nullptr);
            g_object_set(bayer, "caps", caps, nullptr);
            gst_caps_unref(caps);
            return sourceBin(name, {src, bayer});
        }
    }
    return nullptr;
}

void qelvo_test_camera_device_finalize(GObject* object) {
    delete reinterpret_cast<QelvoTestCameraDevice*>(object)->camera;
    G_OBJECT_CLASS(qelvo_test_camera_device_parent_class)->finalize(object);
}

void qelvo_test_camera_device_class_init(QelvoTestCameraDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = createCameraElement;
    G_OBJECT_CLASS(klass)->finalize = qelvo_test_camera_device_finalize;
}

void qelvo_test_camera_device_init(QelvoTestCameraDevice* device) {
    device->camera = nullptr;
}

// --- the providers ----------------------------------------------------------------------------
//
// The watching provider announces cameras as they are plugged in and pulled out while a
// monitor runs it, as V4L2 does through udev; the probed provider can only list what is
// plugged in when asked, as a provider without hot-plug events does.

GstDevice* newDevice(const TestCamera& c) {
    GstCaps* caps = rawCaps(c);
    auto* device = static_cast<QelvoTestCameraDevice*>(
        g_object_new(qelvo_test_camera_device_get_type(), "display-name", c.name.c_str(),
                     "device-class", "Video/Source", "caps", caps, nullptr));
    gst_caps_unref(caps);
    device->camera = new TestCamera(c);
    return GST_DEVICE(device);  // floating, as a probe returns it
}

GList* probeCameras(bool probedOnly) {
    std::lock_guard<std::mutex> lock(camerasMutex);
    GList* devices = nullptr;
    for (const PluggedCamera& p : pluggedCameras)
        if (p.camera.probedOnly == probedOnly)
            devices = g_list_append(devices, newDevice(p.camera));
    return devices;
}

// Called with camerasMutex held.
void announce(PluggedCamera& p) {
    p.announced = GST_DEVICE(gst_object_ref_sink(newDevice(p.camera)));
    gst_device_provider_device_add(watchingProvider, p.announced);
}

// Called with camerasMutex held.
void withdraw(PluggedCamera& p) {
    if (!p.announced) return;
    if (watchingProvider) gst_device_provider_device_remove(watchingProvider, p.announced);
    gst_object_unref(p.announced);
    p.announced = nullptr;
}

struct QelvoTestCameraProvider {
    GstDeviceProvider parent;
};
struct QelvoTestCameraProviderClass {
    GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(QelvoTestCameraProvider, qelvo_test_camera_provider, GST_TYPE_DEVICE_PROVIDER)

gboolean startWatching(GstDeviceProvider* provider) {
    std::lock_guard<std::mutex> lock(camerasMutex);
    watchingProvider = provider;
    for (PluggedCamera& p : pluggedCameras)
        if (!p.camera.probedOnly) announce(p);
    return TRUE;
}

void stopWatching(GstDeviceProvider*) {
    std::lock_guard<std::mutex> lock(camerasMutex);
    // The base class drops its own list of the announced devices after this.
    for (PluggedCamera& p : pluggedCameras) {
        if (p.announced) gst_object_unref(p.announced);
        p.announced = nullptr;
    }
    watchingProvider = nullptr;
}

void qelvo_test_camera_provider_class_init(QelvoTestCameraProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = [](GstDeviceProvider*) { return probeCameras(false); };
    provider->start = startWatching;
    provider->stop = stopWatching;
    gst_device_provider_class_set_static_metadata(provider, "Test cameras", "Video/Source",
                                                  "Cameras made of test sources",
                                                  "QELVO_TARNEL tests");
}

void qelvo_test_camera_provider_init(QelvoTestCameraProvider*) {}

struct QelvoProbedCameraProvider {
    GstDeviceProvider parent;
};
struct QelvoProbedCameraProviderClass {
    GstDeviceProviderClass parent_class;
};

G_DEFINE_TYPE(QelvoProbedCameraProvider, qelvo_probed_camera_provider, GST_TYPE_DEVICE_PROVIDER)

void qelvo_probed_camera_provider_class_init(QelvoProbedCameraProviderClass* klass) {
    GstDeviceProviderClass* provider = GST_DEVICE_PROVIDER_CLASS(klass);
    provider->probe = [](GstDeviceProvider*) { return probeCameras(true); };
    gst_device_provider_class_set_static_metadata(provider, "Probed test cameras", "Video/Source",
                                                  "Test cameras without hot-plug events",
                                                  "QELVO_TARNEL tests");
}

void qelvo_probed_camera_provider_init(QelvoProbedCameraProvider*) {}

gboolean registerPlugin(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "qelvotestcameraprovider", GST_RANK_PRIMARY,
                                        qelvo_test_camera_provider_get_type()) &&
           gst_device_provider_register(plugin, "qelvoprobedcameraprovider", GST_RANK_PRIMARY,
                                        qelvo_probed_camera_provider_get_type());
}

}  // namespace

void registerTestCameraProvider() {
    static std::once_flag once;
    std::call_once(once, [] {
        ensureGstreamer();
        gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "qelvotestcameras",
                                   "Test cameras for the device monitor", registerPlugin, "1.0",
                                   "LGPL", "qelvo-tests", "qelvo-tests", "https://localhost/");
    });
}

void plugTestCamera(const TestCamera& camera) {
    std::lock_guard<std::mutex> lock(camerasMutex);
    pluggedCameras.push_back({camera});
    if (watchingProvider && !camera.probedOnly) announce(pluggedCameras.back());
}

void unplugTestCamera(const std::string& name) {
    std::lock_guard<std::mutex> lock(camerasMutex);
    for (PluggedCamera& p : pluggedCameras)
        if (p.camera.name == name) withdraw(p);
    std::erase_if(pluggedCameras, [&](const PluggedCamera& p) { return p.camera.name == name; });
}

void unplugAllTestCameras() {
    std::lock_guard<std::mutex> lock(camerasMutex);
    for (PluggedCamera& p : pluggedCameras) withdraw(p);
    pluggedCameras.clear();
}

}  // namespace qelvo::test
