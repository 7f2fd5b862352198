#include "platform/DeviceCatalogue.h"

#include "platform/GstInit.h"
#include "platform/MediaInternal.h"
#include "platform/RegistryDriverKeys.h"

#include <cstdlib>

namespace qelvo {
namespace {

// The cameras of every "Video/Source" provider, probed afresh on every call, so a camera
// plugged in or removed shows at the next rescan.  Each keeps the monitor's handle, which
// makes its source element, so cameras of any provider are bound the same way.
std::vector<VideoInputDevice> monitoredCameras() {
    std::vector<VideoInputDevice> cameras;
    if (!ensureGstreamer()) return cameras;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    for (GList* it = devices; it; it = it->next) {
        GstDevice* device = GST_DEVICE(it->data);
        gchar* name = gst_device_get_display_name(device);
        if (name) {
            VideoInputDevice camera;
            camera.friendlyName = name;
            camera.monitored = std::make_shared<const MonitoredDevice>(device);
            if (GstStructure* props = gst_device_get_properties(device)) {
                if (const gchar* path = gst_structure_get_string(props, "device.path"))
                    camera.systemId = path;
                else if (const gchar* p2 = gst_structure_get_string(props, "api.v4l2.path"))
                    camera.systemId = p2;
                gst_structure_free(props);
            }
            cameras.push_back(std::move(camera));
            g_free(name);
        }
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    return cameras;
}

class SystemDeviceCatalogue : public DeviceCatalogue {
public:
    std::vector<VideoInputDevice> videoInputs() override {
        std::vector<VideoInputDevice> all = monitoredCameras();
        const char* list = std::getenv("QELVO_VIRTUAL_DEVICES");
        if (!list) return all;
        if (std::string(list) != lastWarnedList_) {
            // Warnings are printed once per distinct list, not at every 3-second rescan.
            lastWarnedList_ = list;
            entries_ = parseVirtualDeviceList(list);
        }
        for (const VirtualDeviceEntry& entry : entries_) {
            VideoInputDevice device;
            device.friendlyName = entry.friendlyName;
            device.isVirtual = true;
            device.virtualEntry = entry;
            // Microscope-family devices publish their button in driver keys (made once).
            ensureVirtualDriverKeys(RegistryStore(), entry.friendlyName);
            all.push_back(std::move(device));
        }
        return all;
    }

private:
    std::string lastWarnedList_;
    std::vector<VirtualDeviceEntry> entries_;
};

}  // namespace

std::unique_ptr<DeviceCatalogue> makeSystemDeviceCatalogue() {
    return std::make_unique<SystemDeviceCatalogue>();
}

}  // namespace qelvo
