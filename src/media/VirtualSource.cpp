// A virtual device's source: a test picture with a burnt-in time and frame counter, shaped by
// the device's options (size, rate, pattern, slow start, unplugging), and its still output
// released by presses of the simulated hardware button.
#include <gst/video/video.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "media/MediaInternal.h"
#include "simulated/VirtualButtonChannel.h"
#include "system/Paths.h"

// A bin that opens like a camera's driver: its change from NULL to READY takes a while and
// blocks the thread that asked for it, and an exclusive device open already is refused as busy.
struct QelvoOpeningBin {
    GstBin parent;
    gint openDelayMs;
    gboolean exclusive;
    gboolean holdsDevice;
    char* deviceName;
};
struct QelvoOpeningBinClass {
    GstBinClass parentClass;
};
G_DEFINE_TYPE(QelvoOpeningBin, qelvo_opening_bin, GST_TYPE_BIN)

namespace {

// The exclusive virtual devices open now, by name (the simulated hardware's own state).
std::mutex openDevicesMutex;
std::set<std::string>& openDevices() {
    static std::set<std::string> names;
    return names;
}

bool takeDevice(QelvoOpeningBin* bin) {
    std::lock_guard lock(openDevicesMutex);
    return openDevices().insert(bin->deviceName ? bin->deviceName : "").second;
}

void giveDeviceBack(QelvoOpeningBin* bin) {
    std::lock_guard lock(openDevicesMutex);
    openDevices().erase(bin->deviceName ? bin->deviceName : "");
}

}  // namespace

static GstStateChangeReturn qelvo_opening_bin_change_state(GstElement* element,
                                                           GstStateChange transition) {
    auto* bin = reinterpret_cast<QelvoOpeningBin*>(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
        // Busy at once, as open() fails; then the driver takes its time.
        if (bin->exclusive) {
            if (!takeDevice(bin)) {
                GST_ELEMENT_ERROR(element, RESOURCE, BUSY, ("The device is in use."), (nullptr));
                return GST_STATE_CHANGE_FAILURE;
            }
            bin->holdsDevice = TRUE;
        }
        if (bin->openDelayMs > 0) g_usleep(static_cast<gulong>(bin->openDelayMs) * 1000);
    }
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(qelvo_opening_bin_parent_class)->change_state(element, transition);
    const bool openFailed =
        transition == GST_STATE_CHANGE_NULL_TO_READY && result == GST_STATE_CHANGE_FAILURE;
    if ((transition == GST_STATE_CHANGE_READY_TO_NULL || openFailed) && bin->holdsDevice) {
        giveDeviceBack(bin);
        bin->holdsDevice = FALSE;
    }
    return result;
}

static void qelvo_opening_bin_finalize(GObject* object) {
    auto* bin = reinterpret_cast<QelvoOpeningBin*>(object);
    if (bin->holdsDevice) giveDeviceBack(bin);
    g_free(bin->deviceName);
    G_OBJECT_CLASS(qelvo_opening_bin_parent_class)->finalize(object);
}

static void qelvo_opening_bin_class_init(QelvoOpeningBinClass* klass) {
    GST_ELEMENT_CLASS(klass)->change_state = qelvo_opening_bin_change_state;
    G_OBJECT_CLASS(klass)->finalize = qelvo_opening_bin_finalize;
}

static void qelvo_opening_bin_init(QelvoOpeningBin* bin) {
    bin->openDelayMs = 0;
    bin->exclusive = FALSE;
    bin->holdsDevice = FALSE;
    bin->deviceName = nullptr;
}

namespace qelvo {
namespace {

GstElement* makeSourceBin(const std::string& name, const VirtualDeviceOptions& o) {
    if (o.openDelayMs <= 0 && !o.exclusive) return makeElement("bin");
    GstElement* bin = GST_ELEMENT(g_object_new(qelvo_opening_bin_get_type(), nullptr));
    gst_object_ref_sink(bin);
    auto* opening = reinterpret_cast<QelvoOpeningBin*>(bin);
    opening->openDelayMs = o.openDelayMs;
    opening->exclusive = o.exclusive ? TRUE : FALSE;
    opening->deviceName = g_strdup(name.c_str());
    return bin;
}

// 3x5 digit glyphs, one row per entry, bit 2 = left column.
constexpr std::uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// Burns the frame number into the top right corner of a top-down BGR frame: white digits
// on a black box, drawn straight into the pixels (cheap enough for every frame).
void drawCounter(std::uint8_t* pixels, int width, int height, int stride, std::uint64_t n) {
    char text[24];
    const int len = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
    const int scale = height >= 480 ? 3 : 2;
    const int cell = 4 * scale;  // 3 columns plus one of spacing
    const int boxW = len * cell + 2 * scale, boxH = 7 * scale;
    const int x0 = width - boxW - 2 * scale, y0 = 2 * scale;
    if (x0 < 0 || y0 + boxH > height) return;
    for (int y = 0; y < boxH; ++y) std::memset(pixels + (y0 + y) * stride + x0 * 3, 0, boxW * 3);
    for (int i = 0; i < len; ++i) {
        const std::uint8_t* glyph = kDigits[text[i] - '0'];
        for (int gy = 0; gy < 5; ++gy)
            for (int gx = 0; gx < 3; ++gx) {
                if (!(glyph[gy] & (4 >> gx))) continue;
                const int px = x0 + scale + i * cell + gx * scale, py = y0 + scale + gy * scale;
                for (int sy = 0; sy < scale; ++sy)
                    std::memset(pixels + (py + sy) * stride + px * 3, 0xFF, scale * 3);
            }
    }
}

SpecimenEffects specimenEffects(const VirtualDeviceOptions& o) {
    SpecimenEffects e;
    e.noise = o.noise;
    e.vignette = o.vignette;
    e.dark = o.dark;
    e.lens = o.cameraControls;
    e.focusPosition = o.focus;
    return e;
}

// A new frame size (streaming thread): the specimen and the camera's effects are made ready
// for it, once per size.
void prepareSpecimen(SourceState& source) {
    const SpecimenEffects effects = specimenEffects(source.options);
    if (!SpecimenRenderer::wanted(source.specimen != nullptr, effects) ||
        GST_VIDEO_INFO_FORMAT(&source.producerInfo) != GST_VIDEO_FORMAT_BGR)
        return;
    const int width = GST_VIDEO_INFO_WIDTH(&source.producerInfo);
    const int height = GST_VIDEO_INFO_HEIGHT(&source.producerInfo);
    if (!source.renderer)
        source.renderer = std::make_unique<SpecimenRenderer>(source.specimen, effects);
    if (!source.renderer->preparedFor(width, height)) source.renderer->prepare(width, height);
}

// Runs on the producer's streaming thread for every frame of a virtual device: counts it,
// stops delivering after `stopafter` frames (optionally failing like an unplugged camera)
// and burns the counter in.
GstPadProbeReturn virtualFrameProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* source = static_cast<SourceState*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            // A slow device: hold the stream back, but let go at once when it is stopped.
            if (!source->delayServed && source->options.startDelayMs > 0) {
                source->delayServed = true;
                const gint64 until =
                    g_get_monotonic_time() + gint64{source->options.startDelayMs} * 1000;
                while (g_get_monotonic_time() < until && !GST_PAD_IS_FLUSHING(pad)) g_usleep(10000);
            }
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            if (!gst_video_info_from_caps(&source->producerInfo, caps))
                gst_video_info_init(&source->producerInfo);
            prepareSpecimen(*source);
        }
        return GST_PAD_PROBE_OK;
    }
    const std::uint64_t n = source->frames.fetch_add(1, std::memory_order_relaxed) + 1;
    const VirtualDeviceOptions& o = source->options;
    if (o.stopAfter >= 0 && n > static_cast<std::uint64_t>(o.stopAfter)) {
        if (o.unplugError) {
            // A removed camera fails its next read: the source reports an error and ends
            // the stream, which also lets a file being written be completed.
            if (!source->unplugReported.exchange(true)) {
                GError* error =
                    g_error_new(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                "The device \"%s\" was disconnected.", source->deviceName.c_str());
                gst_element_post_message(
                    source->producer,
                    gst_message_new_error(GST_OBJECT(source->producer), error, nullptr));
                g_error_free(error);
            }
            gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
            GST_PAD_PROBE_INFO_DATA(info) = nullptr;
            GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
            return GST_PAD_PROBE_HANDLED;
        }
        return GST_PAD_PROBE_DROP;
    }
    const bool specimen = source->renderer != nullptr;
    if ((o.overlay || specimen) &&
        GST_VIDEO_INFO_FORMAT(&source->producerInfo) == GST_VIDEO_FORMAT_BGR) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &source->producerInfo, buffer, GST_MAP_WRITE)) {
            auto* pixels = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
            tsanFrameReused(pixels);
            if (specimen) {
                SpecimenView view = specimenView(*source->lens, specimenEffects(o));
                view.drift = source->drift;
                source->drift += source->specimenMotion.load(std::memory_order_relaxed);
                source->renderer->render(pixels, stride, view);
            }
            if (o.overlay)
                drawCounter(pixels, GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                            stride, n);
            gst_video_frame_unmap(&frame);
        }
    }
    return GST_PAD_PROBE_OK;
}

// The most still frames a change of the press counter can release.
constexpr std::int64_t kMaxStillsOwed = 4;

// The still output lets a frame through only for a hardware button press: the press count
// kept by the button channel is read on every frame, and each new press releases one frame.
// A read that fails changes nothing, so a passing glitch is never taken for a reset followed
// by a burst of presses.
GstPadProbeReturn stillGateProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* source = static_cast<SourceState*>(data);
    (void)info;
    std::uint64_t count = 0;
    if (source->stillPressPath.empty() || !readStillPressCount(source->stillPressPath, count))
        count = source->pressesSeen.load();
    const std::uint64_t seen = source->pressesSeen.load(std::memory_order_relaxed);
    if (count != seen) {
        // A counter that went back was started again (removed, or rewritten after damage), so
        // the presses it holds are new ones.  However far it moved, only a few frames are
        // owed: a counter rewritten by anything else never releases a flood of stills.
        const std::uint64_t fresh = count > seen ? count - seen : count;
        const std::int64_t owed =
            source->stillsOwed.load() +
            static_cast<std::int64_t>(std::min<std::uint64_t>(fresh, kMaxStillsOwed));
        source->stillsOwed.store(std::min<std::int64_t>(owed, kMaxStillsOwed));
        source->pressesSeen.store(count, std::memory_order_relaxed);
    }
    if (source->stillsOwed.load() > 0) {
        source->stillsOwed.fetch_sub(1);
        return GST_PAD_PROBE_OK;
    }
    return GST_PAD_PROBE_DROP;
}

GstCaps* virtualCaps(const VirtualDeviceOptions& o, int width, int height) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT,
                               width, "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                               o.fps, 1, nullptr);
}

// The burnt-in clock of a virtual device, or nullptr when the overlay element is not
// installed: the device then streams without it, and says so once per run.
GstElement* makeClockOverlay() {
    GstElement* clock = gst_element_factory_make("clockoverlay", "clock");
    if (!clock) {
        static std::once_flag reported;
        std::call_once(reported, [] {
            std::fprintf(stderr,
                         "qelvo-tarnel: the GStreamer element \"clockoverlay\" is not installed "
                         "(Debian package gstreamer1.0-x); virtual devices stream without the "
                         "burnt-in time\n");
        });
    }
    return clock;
}

}  // namespace

MediaResult buildVirtualSource(const std::string& name, const VirtualDeviceOptions& o,
                               MediaComponent& out) {
    GstElement* bin = makeSourceBin(name, o);
    GstElement* producer = gst_element_factory_make("videotestsrc", "producer");
    GstElement* format = gst_element_factory_make("capsfilter", "format");
    GstElement* balance = gst_element_factory_make("videobalance", "balance");
    GstElement* clock = o.overlay ? makeClockOverlay() : nullptr;
    GstElement* tee = makeOutputTee();
    if (!bin || !producer || !format || !balance || !tee) {
        for (GstElement* e : {producer, format, balance, clock, tee})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The test picture source could not be created.");
    }
    // A specimen is read once, here, as the device is opened (a device task's thread); one that
    // cannot be read leaves the test pattern.  The pattern under a specimen is plain black,
    // the cheapest to make.
    std::shared_ptr<const QImage> specimen;
    if (!o.specimen.empty()) {
        std::string why;
        specimen = loadSpecimenPicture(o.specimen, why);
        if (!specimen)
            std::fprintf(stderr,
                         "qelvo-tarnel: the specimen picture \"%s\" of the virtual device \"%s\" "
                         "cannot be read (%s); the device shows its test pattern\n",
                         o.specimen.c_str(), name.c_str(), why.c_str());
    }
    gst_util_set_object_arg(G_OBJECT(producer), "pattern", specimen ? "black" : o.pattern.c_str());
    g_object_set(producer, "is-live", o.live ? TRUE : FALSE, "horizontal-speed",
                 specimen ? 0 : o.motion, nullptr);
    GstCaps* caps = virtualCaps(o, o.width, o.height);
    g_object_set(format, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), producer, format, balance, tee, nullptr);
    bool linked = gst_element_link_many(producer, format, balance, nullptr);
    if (clock) {
        g_object_set(clock, "time-format", "%H:%M:%S", "font-desc", "Sans 14", nullptr);
        gst_bin_add(GST_BIN(bin), clock);
        linked = linked && gst_element_link_many(balance, clock, tee, nullptr);
    } else {
        linked = linked && gst_element_link(balance, tee);
    }
    if (!linked) {
        gst_object_unref(bin);
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "The test picture source could not be connected.");
    }
    auto state = std::make_unique<SourceState>();
    state->deviceName = name;
    state->isVirtual = true;
    state->options = o;
    state->producer = producer;
    state->format = format;
    state->balance = balance;
    state->tee = tee;
    state->specimen = std::move(specimen);
    state->lens = virtualLensOf(name);
    state->specimenMotion.store(o.motion);
    gst_video_info_init(&state->producerInfo);
    GstPad* pad = gst_element_get_static_pad(format, "src");
    gst_pad_add_probe(pad,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      virtualFrameProbe, state.get(), nullptr);
    gst_object_unref(pad);
    return finishSource(bin, std::move(state), out);
}

MediaResult setVirtualSourceFormat(SourceState& s, int width, int height) {
    const bool own = width == s.options.width && height == s.options.height;
    const bool hd = width == 1280 && height == 720 && s.options.acceptsHd;
    if (!own && !hd)
        return MediaResult::failure(MediaError::Refused,
                                    "The device does not offer that picture size.");
    GstCaps* caps = virtualCaps(s.options, width, height);
    g_object_set(s.format, "caps", caps, nullptr);
    gst_caps_unref(caps);
    s.configured = {width, height};
    return MediaResult::success();
}

MediaResult probeVirtualSource(const MediaComponent::Impl& source) {
    // Opened for a moment and closed again, as a camera is when what it offers is read.
    GstElement* bin = source.element;
    if (gst_element_set_state(bin, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(bin, GST_STATE_NULL);
        return MediaResult::failure(MediaError::StateFailed,
                                    "\"" + source.source->deviceName +
                                        "\" could not be opened; it may be in use by another "
                                        "program.");
    }
    gst_element_set_state(bin, GST_STATE_NULL);
    return MediaResult::success();
}

void gateStillOutput(SourceState& s, GstPad* output) {
    // Presses are only taken from a runtime folder no other user can write into; without one
    // the still output stays closed.
    s.stillPressPath.clear();
    if (preparePrivateFolder(runtimeDir()).empty()) s.stillPressPath = stillPressFile(s.deviceName);
    std::uint64_t count = 0;
    s.pressesSeen.store(
        !s.stillPressPath.empty() && readStillPressCount(s.stillPressPath, count) ? count : 0);
    s.stillsOwed.store(0);
    gst_pad_add_probe(output, GST_PAD_PROBE_TYPE_BUFFER, stillGateProbe, &s, nullptr);
}

}  // namespace qelvo
