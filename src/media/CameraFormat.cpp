// The format a camera streams in: what it offers, read from its source element, and the
// choice among those offers applied to the camera's source bin.
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "media/MediaInternal.h"

namespace qelvo {
namespace {

// The size the V4L2 driver currently holds: what the camera delivers when nobody asks for
// another, as every V4L2 program sees it.  False where there is no such node or it cannot be
// asked (then the first format the camera lists stands for its own size).
bool driverCurrentSize(const std::string& path, int& width, int& height) {
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const bool ok = ::ioctl(fd, VIDIOC_G_FMT, &format) == 0 && format.fmt.pix.width > 0 &&
                    format.fmt.pix.height > 0;
    ::close(fd);
    if (!ok) return false;
    width = static_cast<int>(format.fmt.pix.width);
    height = static_cast<int>(format.fmt.pix.height);
    return true;
}

bool jpegDecoderInstalled() {
    GstElementFactory* factory = gst_element_factory_find("jpegdec");
    if (!factory) return false;
    gst_object_unref(factory);
    return true;
}

// The values a caps field allows: one value, or each of a list.  Ranges are fixed to the
// value nearest `near` (a size asked for, or a common frame rate): offering every step of a
// range would only be cut down to that again.
std::vector<int> intChoices(const GstStructure* st, const char* field, std::vector<int> near) {
    std::vector<int> values;
    const GValue* v = gst_structure_get_value(st, field);
    if (!v) return values;
    if (G_VALUE_HOLDS_INT(v)) {
        values.push_back(g_value_get_int(v));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_INT(item)) values.push_back(g_value_get_int(item));
        }
    } else if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        const int lo = gst_value_get_int_range_min(v), hi = gst_value_get_int_range_max(v);
        const int step = std::max(1, gst_value_get_int_range_step(v));
        for (int target : near) {
            int value = std::clamp(target, lo, hi);
            value = lo + (value - lo) / step * step;
            bool seen = false;
            for (int x : values) seen = seen || x == value;
            if (!seen) values.push_back(value);
        }
    }
    return values;
}

std::vector<std::pair<int, int>> rateChoices(const GstStructure* st) {
    std::vector<std::pair<int, int>> rates;
    const GValue* v = gst_structure_get_value(st, "framerate");
    if (!v) return {{0, 1}};
    if (GST_VALUE_HOLDS_FRACTION(v)) {
        rates.emplace_back(gst_value_get_fraction_numerator(v),
                           gst_value_get_fraction_denominator(v));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (GST_VALUE_HOLDS_FRACTION(item))
                rates.emplace_back(gst_value_get_fraction_numerator(item),
                                   gst_value_get_fraction_denominator(item));
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(v)) {
        // A continuous range: the rate nearest 30 fps, a camera's usual full rate.
        GstStructure* copy = gst_structure_copy(st);
        int n = 0, d = 1;
        if (gst_structure_fixate_field_nearest_fraction(copy, "framerate", 30, 1) &&
            gst_structure_get_fraction(copy, "framerate", &n, &d))
            rates.emplace_back(n, d);
        gst_structure_free(copy);
    }
    if (rates.empty()) rates.emplace_back(0, 1);
    return rates;
}

std::vector<std::string> stringChoices(const GstStructure* st, const char* field) {
    std::vector<std::string> values;
    const GValue* v = gst_structure_get_value(st, field);
    if (v && G_VALUE_HOLDS_STRING(v)) {
        values.emplace_back(g_value_get_string(v));
    } else if (v && GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_STRING(item)) values.emplace_back(g_value_get_string(item));
        }
    }
    if (values.empty()) values.emplace_back();
    return values;
}

OfferedFormat::Kind kindOf(const std::string& media, const std::string& pixels,
                           const GstCapsFeatures* features) {
    // Frames in device or DMA memory are not pixels the converter can read.
    if (features && !gst_caps_features_is_any(features) &&
        !gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY))
        return OfferedFormat::Kind::Other;
    if (media == "image/jpeg") return OfferedFormat::Kind::Jpeg;
    if (media != "video/x-raw") return OfferedFormat::Kind::Other;
    if (pixels.empty()) return OfferedFormat::Kind::Raw;
    const GstVideoFormat f = gst_video_format_from_string(pixels.c_str());
    return f == GST_VIDEO_FORMAT_UNKNOWN || f == GST_VIDEO_FORMAT_ENCODED
               ? OfferedFormat::Kind::Other
               : OfferedFormat::Kind::Raw;
}

// Every (type, pixel format, size, rate) the caps allow; sizes given as ranges are taken at
// the sizes in `near` (the size asked for and the camera's own size).
std::vector<OfferedFormat> offersOf(const GstCaps* caps,
                                    const std::vector<std::pair<int, int>>& near) {
    std::vector<int> nearW, nearH;
    for (const auto& [w, h] : near) {
        if (w <= 0 || h <= 0) continue;
        nearW.push_back(w);
        nearH.push_back(h);
    }
    if (nearW.empty()) {
        nearW.push_back(640);
        nearH.push_back(480);
    }
    std::vector<OfferedFormat> offers;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* st = gst_caps_get_structure(caps, i);
        const std::string media = gst_structure_get_name(st);
        const std::vector<int> widths = intChoices(st, "width", nearW);
        const std::vector<int> heights = intChoices(st, "height", nearH);
        for (const std::string& pixels : stringChoices(st, "format"))
            for (int w : widths)
                for (int h : heights)
                    for (const auto& [n, d] : rateChoices(st)) {
                        OfferedFormat f;
                        f.mediaType = media;
                        f.pixelFormat = pixels;
                        f.kind = kindOf(media, pixels, gst_caps_get_features(caps, i));
                        f.width = w;
                        f.height = h;
                        f.rateNumerator = n;
                        f.rateDenominator = d;
                        offers.push_back(f);
                    }
    }
    return offers;
}

// Reads what the camera offers (once per source), opening it for the moment it takes.
MediaResult readOffers(SourceState& s) {
    if (s.offered) return MediaResult::success();
    const std::string who = "\"" + s.deviceName + "\"";
    if (gst_element_set_state(s.producer, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(s.producer, GST_STATE_NULL);
        return MediaResult::failure(MediaError::StateFailed,
                                    who +
                                        " could not be opened; it may have been unplugged "
                                        "or be in use by another program.");
    }
    GstPad* pad = gst_element_get_static_pad(s.producer, "src");
    GstCaps* caps = pad ? gst_pad_query_caps(pad, nullptr) : nullptr;
    if (pad) gst_object_unref(pad);
    gst_element_set_state(s.producer, GST_STATE_NULL);
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) {
        if (caps) gst_caps_unref(caps);
        return MediaResult::failure(MediaError::NotFound,
                                    who +
                                        " reports no picture format; it may have been "
                                        "unplugged.");
    }
    s.offered = caps;
    return MediaResult::success();
}

// The camera's own size: the driver's current size, else (0 x 0) its first offer.
std::pair<int, int> ownSize(SourceState& s) {
    if (s.ownWidth < 0) {
        int w = 0, h = 0;
        if (!driverCurrentSize(s.devicePath, w, h)) w = h = 0;
        s.ownWidth = w;
        s.ownHeight = h;
    }
    return {s.ownWidth, s.ownHeight};
}

GstCaps* capsFor(const OfferedFormat& f) {
    GstCaps* caps = gst_caps_new_simple(f.mediaType.c_str(), "width", G_TYPE_INT, f.width, "height",
                                        G_TYPE_INT, f.height, nullptr);
    if (!f.pixelFormat.empty())
        gst_caps_set_simple(caps, "format", G_TYPE_STRING, f.pixelFormat.c_str(), nullptr);
    if (f.rateNumerator > 0 && f.rateDenominator > 0)
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, f.rateNumerator,
                            f.rateDenominator, nullptr);
    return caps;
}

// Puts the Motion JPEG decoder between the format filter and the tee, or takes it out, so
// that every output of the source carries raw pixels either way.
bool placeDecoder(SourceState& s, bool wanted) {
    if (wanted == (s.decoder != nullptr)) return true;
    GstBin* bin = GST_BIN(GST_ELEMENT_PARENT(s.format));
    if (s.decoder) {
        gst_element_unlink_many(s.format, s.decoder, s.tee, nullptr);
        gst_element_set_state(s.decoder, GST_STATE_NULL);
        gst_bin_remove(bin, s.decoder);
        s.decoder = nullptr;
        return gst_element_link(s.format, s.tee);
    }
    GstElement* decoder = gst_element_factory_make("jpegdec", "decoder");
    if (!decoder) return false;
    gst_element_unlink(s.format, s.tee);
    gst_bin_add(bin, decoder);
    if (!gst_element_link_many(s.format, decoder, s.tee, nullptr)) {
        gst_element_unlink(s.format, decoder);
        gst_bin_remove(bin, decoder);
        gst_element_link(s.format, s.tee);
        return false;
    }
    s.decoder = decoder;
    return true;
}

}  // namespace

MediaResult cameraDefaultFormat(SourceState& s, VideoFormat& format) {
    const auto own = ownSize(s);
    if (MediaResult r = readOffers(s); !r) return r;
    const auto chosen = FormatChoice(offersOf(s.offered, {own}), jpegDecoderInstalled())
                            .choose(0, 0, own.first, own.second);
    if (!chosen)
        return MediaResult::failure(
            MediaError::Refused,
            "\"" + s.deviceName + "\" offers no picture format this program can show.");
    format = {chosen->width, chosen->height};
    return MediaResult::success();
}

MediaResult settleCameraFormat(SourceState& s, int width, int height) {
    const bool asked = width > 0 && height > 0;
    if (s.formatSettled &&
        (!asked || (s.configured.width == width && s.configured.height == height)))
        return MediaResult::success();
    const auto own = ownSize(s);
    std::vector<std::pair<int, int>> near;
    if (asked) near.emplace_back(width, height);
    if (own.first > 0) near.emplace_back(own);
    if (MediaResult r = readOffers(s); !r) return r;

    const bool decoder = jpegDecoderInstalled();
    const std::vector<OfferedFormat> offers = offersOf(s.offered, near);
    const FormatChoice choice(offers, decoder);
    std::optional<OfferedFormat> chosen;
    if (asked) {
        chosen = choice.atSize(width, height);
        // The device keeps its own format; the caller learns it was refused.
        if (!chosen)
            return MediaResult::failure(MediaError::Refused,
                                        "The camera does not offer that picture size.");
    } else {
        chosen = choice.choose(0, 0, own.first, own.second);
    }
    if (!chosen) {
        std::string text =
            "\"" + s.deviceName +
            "\" offers only picture formats this program cannot decode: " + choice.offeredTypes() +
            ".";
        bool jpegOffered = false;
        for (const OfferedFormat& f : offers)
            jpegOffered = jpegOffered || f.kind == OfferedFormat::Kind::Jpeg;
        if (jpegOffered && !decoder)
            text +=
                " Its Motion JPEG needs the GStreamer element \"jpegdec\" (Debian package "
                "gstreamer1.0-plugins-good).";
        return MediaResult::failure(MediaError::Refused, text);
    }
    const bool jpeg = chosen->kind == OfferedFormat::Kind::Jpeg;
    if (!placeDecoder(s, jpeg))
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "The Motion JPEG decoder could not be connected.");
    GstCaps* caps = capsFor(*chosen);
    g_object_set(s.format, "caps", caps, nullptr);
    gst_caps_unref(caps);
    s.formatSettled = true;
    s.configured = {chosen->width, chosen->height};
    std::fprintf(stderr, "qelvo-tarnel: \"%s\" streams %s%s\n", s.deviceName.c_str(),
                 chosen->describe().c_str(), jpeg ? ", decoded by jpegdec" : "");
    return MediaResult::success();
}

MediaResult probeCamera(SourceState& s) {
    (void)ownSize(s);
    if (MediaResult r = readOffers(s); !r) return r;
    return settleCameraFormat(s, 0, 0);
}

MediaResult prepareSourceFormat(MediaComponent::Impl& source) {
    SourceState& s = *source.source;
    if (s.isVirtual || s.formatSettled) return MediaResult::success();
    return settleCameraFormat(s, 0, 0);
}

}  // namespace qelvo
