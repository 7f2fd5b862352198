#include "media/MediaDevices.h"

#include "media/GstInit.h"
#include "media/MediaInternal.h"

namespace qelvo {
namespace {

struct EncoderName {
    const char* friendlyName;
    const char* element;
};

// The video compressors offered, by friendly name.  Only those whose element is installed
// are listed.
constexpr EncoderName kEncoders[] = {
    {kMpeg4EncoderName, "avenc_mpeg4"},
    {"Motion JPEG encoder", "jpegenc"},
    {"x264 encoder", "x264enc"},
    {"VP8 encoder", "vp8enc"},
};

bool installed(const char* element) {
    GstElementFactory* factory = gst_element_factory_find(element);
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

MediaResult makeEncoder(const MediaDevice& device, MediaComponent& out) {
    GstElement* bin = makeElement("bin");
    GstElement* convert = gst_element_factory_make("videoconvert", "convert");
    GstElement* encoder = gst_element_factory_make(device.element.c_str(), "encoder");
    if (!bin || !convert || !encoder) {
        for (GstElement* e : {convert, encoder})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "\"" + device.friendlyName + "\" could not be created.");
    }
    if (device.element == "avenc_mpeg4") {
        // The library default (200 kbit/s) smears a 1280x720 picture; 8 Mbit/s keeps detail.
        g_object_set(encoder, "bitrate", 8000000, nullptr);
    }
    gst_bin_add_many(GST_BIN(bin), convert, encoder, nullptr);
    if (!gst_element_link(convert, encoder)) {
        gst_object_unref(bin);
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "\"" + device.friendlyName + "\" could not be connected.");
    }
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    GstPad* src = gst_element_get_static_pad(encoder, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", src));
    gst_object_unref(sink);
    gst_object_unref(src);
    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::Encoder;
    impl->element = bin;
    out = MediaComponent(impl);
    return MediaResult::success();
}

}  // namespace

std::vector<MediaDevice> enumerateDevices(DeviceCategory category, DeviceCatalogue* catalogue) {
    std::vector<MediaDevice> devices;
    switch (category) {
        case DeviceCategory::VideoInput: {
            std::unique_ptr<DeviceCatalogue> system;
            if (!catalogue) {
                system = makeSystemDeviceCatalogue();
                catalogue = system.get();
            }
            for (VideoInputDevice& input : catalogue->videoInputs()) {
                MediaDevice d;
                d.friendlyName = input.friendlyName;
                d.category = category;
                d.input = std::move(input);
                devices.push_back(std::move(d));
            }
            break;
        }
        case DeviceCategory::VideoCompressor:
            if (!ensureGstreamer()) break;
            for (const EncoderName& e : kEncoders) {
                if (!installed(e.element)) continue;
                MediaDevice d;
                d.friendlyName = e.friendlyName;
                d.category = category;
                d.element = e.element;
                devices.push_back(std::move(d));
            }
            break;
        case DeviceCategory::ReceiverComponent:
            break;  // kernel drivers own such components on Linux; none is exposed
    }
    return devices;
}

MediaResult bindDevice(const MediaDevice& device, MediaComponent& component) {
    if (!ensureGstreamer())
        return MediaResult::failure(MediaError::General, "GStreamer could not start.");
    switch (device.category) {
        case DeviceCategory::VideoInput:
            return bindVideoInput(device.input, component);
        case DeviceCategory::VideoCompressor:
            return makeEncoder(device, component);
        case DeviceCategory::ReceiverComponent:
            break;
    }
    return MediaResult::failure(MediaError::NotFound, "The device cannot be bound.");
}

MediaResult bindVideoInput(const VideoInputDevice& device, MediaComponent& source) {
    if (!ensureGstreamer())
        return MediaResult::failure(MediaError::General, "GStreamer could not start.");
    if (device.isVirtual)
        return buildVirtualSource(device.friendlyName,
                                  parseVirtualDeviceOptions(device.virtualEntry), source);
    if (!device.monitored && device.systemId.empty())
        return MediaResult::failure(MediaError::NotFound,
                                    "\"" + device.friendlyName + "\" has no device node.");
    return buildCameraSource(device.friendlyName, device.monitored.get(), device.systemId, source);
}

}  // namespace qelvo
