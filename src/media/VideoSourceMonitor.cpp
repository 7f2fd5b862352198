#include "media/VideoSourceMonitor.h"

#include "media/GstInit.h"
#include "media/MediaInternal.h"

#include <algorithm>

namespace qelvo {
namespace {

constexpr const char* kVideoSources = "Video/Source";

// Lists a device as a camera.  The camera keeps the device's handle, which makes its source
// element, so cameras of any provider are bound the same way.  Devices without a name are
// left out.
void appendCamera(GstDevice* device, std::vector<VideoInputDevice>& cameras) {
    gchar* name = gst_device_get_display_name(device);
    if (!name) return;
    VideoInputDevice camera;
    camera.friendlyName = name;
    g_free(name);
    camera.monitored = std::make_shared<const MonitoredDevice>(device);
    if (GstStructure* props = gst_device_get_properties(device)) {
        if (const gchar* path = gst_structure_get_string(props, "device.path"))
            camera.systemId = path;
        else if (const gchar* p2 = gst_structure_get_string(props, "api.v4l2.path"))
            camera.systemId = p2;
        gst_structure_free(props);
    }
    cameras.push_back(std::move(camera));
}

// Whether another provider of the monitor hides this one (PipeWire hides V4L2, whose cameras
// it lists itself); the monitor leaves a hidden provider's devices out.
bool hiddenByAnother(GstDeviceMonitor* monitor, GstDeviceProvider* provider) {
    GstDeviceProviderFactory* factory = gst_device_provider_get_factory(provider);
    if (!factory) return false;
    const gchar* own = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    bool hidden = false;
    gchar** names = gst_device_monitor_get_providers(monitor);
    for (gchar** n = names; n && *n && !hidden; ++n) {
        GstDeviceProvider* other = gst_device_provider_factory_get_by_name(*n);
        if (!other) continue;
        if (other != provider) {
            gchar** hides = gst_device_provider_get_hidden_providers(other);
            for (gchar** h = hides; h && *h; ++h)
                if (g_strcmp0(*h, own) == 0) hidden = true;
            g_strfreev(hides);
        }
        gst_object_unref(other);
    }
    g_strfreev(names);
    return hidden;
}

}  // namespace

VideoSourceMonitor::VideoSourceMonitor() {
    if (!ensureGstreamer()) return;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, kVideoSources, nullptr);
    if (!gst_device_monitor_start(monitor)) {
        gst_object_unref(monitor);
        return;
    }
    GstBus* bus = gst_device_monitor_get_bus(monitor);
#if GST_CHECK_VERSION(1, 28, 0)
    // From GStreamer 1.28 providers may still be gathering the devices already plugged in
    // when start returns, and the monitor says on its bus when they are done.  The first
    // listing (and a working window's one-off lookup) must see those cameras.
    // The device messages taken on the way are dropped: the list is read from the monitor.
    if (GstMessage* started =
            popMessageOfType(bus, GST_MESSAGE_DEVICE_MONITOR_STARTED, 3 * GST_SECOND))
        gst_message_unref(started);
#endif
    // The list is read when it is wanted, never from the added/removed messages.  A flushing
    // bus drops them rather than queueing them for as long as the monitor runs.
    gst_bus_set_flushing(bus, TRUE);
    gst_object_unref(bus);

    gchar** names = gst_device_monitor_get_providers(monitor);
    for (gchar** n = names; n && *n; ++n) {
        // Providers are one per process, so this is the instance the monitor started.
        GstDeviceProvider* provider = gst_device_provider_factory_get_by_name(*n);
        if (!provider) continue;
        if (gst_device_provider_can_monitor(provider))
            gst_object_unref(provider);
        else
            probedOnly_.push_back(provider);
    }
    g_strfreev(names);
    monitor_ = monitor;
}

VideoSourceMonitor::~VideoSourceMonitor() {
    for (GstDeviceProvider* provider : probedOnly_) gst_object_unref(provider);
    if (!monitor_) return;
    gst_device_monitor_stop(monitor_);
    gst_object_unref(monitor_);
}

std::vector<VideoInputDevice> VideoSourceMonitor::cameras() const {
    std::vector<VideoInputDevice> cameras;
    if (!monitor_) return cameras;
    // A started monitor hands out the providers' current lists without probing.  The lists
    // of providers that can only be probed date from the start and are replaced below.
    GList* devices = gst_device_monitor_get_devices(monitor_);
    for (GList* it = devices; it; it = it->next) {
        GstDevice* device = GST_DEVICE(it->data);
        GstObject* owner = gst_object_get_parent(GST_OBJECT(device));
        const bool stale =
            owner && std::any_of(probedOnly_.begin(), probedOnly_.end(),
                                 [&](GstDeviceProvider* p) { return GST_OBJECT(p) == owner; });
        if (owner) gst_object_unref(owner);
        if (!stale) appendCamera(device, cameras);
    }
    g_list_free_full(devices, gst_object_unref);

    for (GstDeviceProvider* provider : probedOnly_) {
        GstDeviceProviderClass* klass = GST_DEVICE_PROVIDER_GET_CLASS(provider);
        if (!klass->probe || hiddenByAnother(monitor_, provider)) continue;
        GList* probed = klass->probe(provider);
        for (GList* it = probed; it; it = it->next) {
            // Probed devices come floating; the list owns them once sunk.
            if (g_object_is_floating(it->data)) gst_object_ref_sink(it->data);
            GstDevice* device = GST_DEVICE(it->data);
            if (gst_device_has_classes(device, kVideoSources)) appendCamera(device, cameras);
            gst_object_unref(device);
        }
        g_list_free(probed);
    }
    return cameras;
}

GstMessage* popMessageOfType(GstBus* bus, GstMessageType type, GstClockTime timeout) {
    const bool extended = (type & GST_MESSAGE_EXTENDED) != 0;
    const GstMessageType filter = extended ? GST_MESSAGE_EXTENDED : type;
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeout / GST_USECOND);
    for (;;) {
        // Past the deadline this still looks through what is already queued, without waiting.
        const gint64 left = std::max<gint64>(deadline - g_get_monotonic_time(), 0);
        const GstClockTime wait = timeout == GST_CLOCK_TIME_NONE ? timeout : left * GST_USECOND;
        GstMessage* message = gst_bus_timed_pop_filtered(bus, wait, filter);
        if (!message || GST_MESSAGE_TYPE(message) == type) return message;
        gst_message_unref(message);
    }
}

std::vector<VideoInputDevice> probedCameras() {
    std::vector<VideoInputDevice> cameras;
    if (!ensureGstreamer()) return cameras;
    // A monitor that is never started probes every provider not started elsewhere.
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, kVideoSources, nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* it = devices; it; it = it->next) appendCamera(GST_DEVICE(it->data), cameras);
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return cameras;
}

}  // namespace qelvo
