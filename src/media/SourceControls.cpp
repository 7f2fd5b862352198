#include "media/SourceControls.h"

#include <gst/video/colorbalance.h>

#include <cstring>

#include "media/MediaInternal.h"

namespace qelvo {
namespace {

const SourceState* stateOf(const MediaComponent& source) {
    if (source.empty() || source.kind() != ComponentKind::Source) return nullptr;
    return source.impl()->source.get();
}

// The device node a camera source streams from: v4l2src's "device" property.
std::string cameraDevicePath(const SourceState& s) {
    if (!s.producer) return {};
    GstElementFactory* factory = gst_element_get_factory(s.producer);
    if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "v4l2src") != 0) return {};
    gchar* path = nullptr;
    g_object_get(s.producer, "device", &path, nullptr);
    std::string result = path ? path : "";
    g_free(path);
    return result;
}

GstColorBalance* colourBalance(const SourceState* s) {
    if (!s || !s->balance || !GST_IS_COLOR_BALANCE(s->balance)) return nullptr;
    return GST_COLOR_BALANCE(s->balance);
}

GstColorBalanceChannel* findChannel(GstColorBalance* balance, const std::string& label) {
    if (!balance) return nullptr;
    for (const GList* it = gst_color_balance_list_channels(balance); it; it = it->next) {
        auto* channel = static_cast<GstColorBalanceChannel*>(it->data);
        if (channel->label && label == channel->label) return channel;
    }
    return nullptr;
}

// The virtual device's test source, or null for cameras.
GstElement* testSource(const SourceState* s) {
    return s && s->isVirtual ? s->producer : nullptr;
}

// A virtual device showing a specimen rather than its test pattern.
bool showsSpecimen(const SourceState* s) {
    return s && s->isVirtual && s->specimen;
}

GParamSpec* patternProperty(GstElement* producer) {
    if (!producer) return nullptr;
    GParamSpec* param = g_object_class_find_property(G_OBJECT_GET_CLASS(producer), "pattern");
    return param && G_IS_PARAM_SPEC_ENUM(param) ? param : nullptr;
}

}  // namespace

std::optional<SourceDevice> sourceDevice(const MediaComponent& source) {
    const SourceState* s = stateOf(source);
    if (!s) return std::nullopt;
    SourceDevice device;
    device.deviceName = s->deviceName;
    device.isVirtual = s->isVirtual;
    device.simulatesCameraControls = s->isVirtual && s->options.cameraControls;
    if (!s->isVirtual) device.devicePath = cameraDevicePath(*s);
    return device;
}

SourcePictureControls::SourcePictureControls(MediaComponent source) : source_(std::move(source)) {}

std::vector<SourcePictureControls::Channel> SourcePictureControls::channels() const {
    std::vector<Channel> result;
    GstColorBalance* balance = colourBalance(stateOf(source_));
    if (!balance) return result;
    for (const GList* it = gst_color_balance_list_channels(balance); it; it = it->next) {
        const auto* channel = static_cast<const GstColorBalanceChannel*>(it->data);
        result.push_back(
            {channel->label ? channel->label : "", channel->min_value, channel->max_value});
    }
    return result;
}

std::optional<int> SourcePictureControls::channelValue(const std::string& label) const {
    GstColorBalance* balance = colourBalance(stateOf(source_));
    GstColorBalanceChannel* channel = findChannel(balance, label);
    if (!channel) return std::nullopt;
    return gst_color_balance_get_value(balance, channel);
}

void SourcePictureControls::setChannelValue(const std::string& label, int value) {
    GstColorBalance* balance = colourBalance(stateOf(source_));
    if (GstColorBalanceChannel* channel = findChannel(balance, label))
        gst_color_balance_set_value(balance, channel, value);
}

bool SourcePictureControls::hasPattern() const {
    if (showsSpecimen(stateOf(source_))) return false;
    return patternProperty(testSource(stateOf(source_))) != nullptr;
}

std::vector<std::pair<std::string, int>> SourcePictureControls::patterns() const {
    std::vector<std::pair<std::string, int>> result;
    GParamSpec* param = patternProperty(testSource(stateOf(source_)));
    if (!param) return result;
    const GEnumClass* values = G_PARAM_SPEC_ENUM(param)->enum_class;
    for (guint i = 0; i < values->n_values; ++i)
        result.emplace_back(values->values[i].value_nick, values->values[i].value);
    return result;
}

int SourcePictureControls::pattern() const {
    GstElement* producer = testSource(stateOf(source_));
    gint current = 0;
    if (patternProperty(producer)) g_object_get(producer, "pattern", &current, nullptr);
    return current;
}

void SourcePictureControls::setPattern(int value) {
    GstElement* producer = testSource(stateOf(source_));
    if (patternProperty(producer)) g_object_set(producer, "pattern", value, nullptr);
}

bool SourcePictureControls::hasMotion() const {
    return testSource(stateOf(source_)) != nullptr;
}

int SourcePictureControls::motion() const {
    if (const SourceState* s = stateOf(source_); showsSpecimen(s)) return s->specimenMotion.load();
    GstElement* producer = testSource(stateOf(source_));
    gint speed = 0;
    if (producer) g_object_get(producer, "horizontal-speed", &speed, nullptr);
    return speed;
}

void SourcePictureControls::setMotion(int pixelsPerFrame) {
    if (showsSpecimen(stateOf(source_))) {
        source_.impl()->source->specimenMotion.store(pixelsPerFrame);
        return;
    }
    if (GstElement* producer = testSource(stateOf(source_)))
        g_object_set(producer, "horizontal-speed", pixelsPerFrame, nullptr);
}

}  // namespace qelvo
