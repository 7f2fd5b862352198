#include "platform/DeviceCatalogue.h"

#include "platform/GstInit.h"
#include "platform/MediaInternal.h"
#include "platform/RegistryDriverKeys.h"

#include <cstdlib>
#include <iostream>

namespace qelvo {
namespace {

std::string trim(const std::string& s) {
    const auto begin = s.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    const auto end = s.find_last_not_of(" \t\r\n");
    return s.substr(begin, end - begin + 1);
}

bool parseOptions(const std::string& body, VirtualDeviceEntry& entry) {
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t comma = body.find(',', start);
        if (comma == std::string::npos) comma = body.size();
        const std::string item = trim(body.substr(start, comma - start));
        if (!item.empty()) {
            const auto eq = item.find('=');
            if (eq == 0) return false;
            if (eq == std::string::npos)
                entry.options.emplace_back(item, "");
            else
                entry.options.emplace_back(trim(item.substr(0, eq)), trim(item.substr(eq + 1)));
        }
        start = comma + 1;
    }
    return true;
}

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

std::vector<VirtualDeviceEntry> parseVirtualDeviceList(const std::string& list) {
    std::vector<VirtualDeviceEntry> entries;
    if (trim(list).empty()) return entries;
    std::size_t start = 0;
    int index = 0;
    while (start <= list.size()) {
        std::size_t semi = list.find(';', start);
        if (semi == std::string::npos) semi = list.size();
        const std::string raw = list.substr(start, semi - start);
        start = semi + 1;
        ++index;
        const std::string text = trim(raw);
        if (text.empty()) {
            if (semi != list.size())  // a trailing ';' is fine
                std::cerr << "qelvo-tarnel: QELVO_VIRTUAL_DEVICES entry " << index
                          << " is empty; skipped\n";
            continue;
        }
        VirtualDeviceEntry entry;
        const auto open = text.find('{');
        const auto close = text.find('}');
        bool ok = true;
        if (open == std::string::npos) {
            ok = close == std::string::npos;
            entry.friendlyName = text;
        } else {
            ok = close != std::string::npos && close == text.size() - 1 && close > open &&
                 text.find('{', open + 1) == std::string::npos;
            entry.friendlyName = trim(text.substr(0, open));
            if (ok) ok = parseOptions(text.substr(open + 1, close - open - 1), entry);
        }
        if (!ok || entry.friendlyName.empty()) {
            std::cerr << "qelvo-tarnel: QELVO_VIRTUAL_DEVICES entry " << index << " (\"" << text
                      << "\") is malformed; skipped\n";
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::unique_ptr<DeviceCatalogue> makeSystemDeviceCatalogue() {
    return std::make_unique<SystemDeviceCatalogue>();
}

}  // namespace qelvo
