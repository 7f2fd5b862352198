#include "media/DeviceCatalogue.h"

#include "media/VideoSourceMonitor.h"
#include "simulated/RegistryDriverKeys.h"

#include <cstdlib>

namespace qelvo {
namespace {

class SystemDeviceCatalogue : public DeviceCatalogue {
public:
    explicit SystemDeviceCatalogue(CameraListing listing) : listing_(listing) {}

    std::vector<VideoInputDevice> videoInputs() override {
        std::vector<VideoInputDevice> all = cameras();
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
    std::vector<VideoInputDevice> cameras() {
        if (listing_ == CameraListing::RunningMonitor && !monitor_)
            monitor_ = std::make_unique<VideoSourceMonitor>();  // at the first listing
        if (monitor_ && monitor_->running()) return monitor_->cameras();
        return probedCameras();
    }

    const CameraListing listing_;
    std::unique_ptr<VideoSourceMonitor> monitor_;
    std::string lastWarnedList_;
    std::vector<VirtualDeviceEntry> entries_;
};

}  // namespace

std::unique_ptr<DeviceCatalogue> makeSystemDeviceCatalogue(CameraListing listing) {
    return std::make_unique<SystemDeviceCatalogue>(listing);
}

}  // namespace qelvo
