#include "acquire/FlatFieldTake.h"

#include "acquire/FrameAverager.h"

#include <algorithm>
#include <cstring>

namespace qelvo::acquire {

namespace {

std::string sizeText(int w, int h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

const char* kindName(FlatFieldStore::Kind kind) {
    return kind == FlatFieldStore::Kind::Flat ? "flat" : "dark";
}

// The correction from what `loaded` holds, filled into `result`.
void fillCorrection(const FlatFieldStore::Loaded& loaded, const std::string& objective,
                    ReferenceTakeResult& result) {
    result.hasFlat = loaded.flat.has_value();
    result.hasDark = loaded.dark.has_value();
    result.problem = loaded.problem;
    if (!loaded.flat) return;
    std::string error;
    auto field = FlatField::make(*loaded.flat, loaded.dark ? &*loaded.dark : nullptr, &error);
    if (field)
        result.correction = std::make_shared<const FlatField>(std::move(*field));
    else
        result.problem =
            "The flat-field references of " + objective + " cannot be used: " + error + ".";
}

}  // namespace

std::optional<PictureData> averageLiveFrames(LapseFrameSource& source, int frames,
                                             std::chrono::milliseconds timeout,
                                             const std::atomic<bool>* stop, std::string* error) {
    frames = std::clamp(frames, 1, FrameAverager::kMaxFrames);
    std::optional<FrameAverager> averager;
    // Frames from now on: one already waiting may come from before the operator was ready.
    std::uint64_t sequence = source.latestSequence();
    for (int i = 0; i < frames; ++i) {
        if (stop && stop->load()) {
            if (error) *error = "stopped";
            return std::nullopt;
        }
        std::string why;
        auto frame = source.nextFrame(sequence, timeout, &why);
        if (!frame) {
            if (error) *error = "there is no live picture (" + why + ")";
            return std::nullopt;
        }
        const GrabbedFrame& f = frame->frame;
        if (!averager) {
            if (f.width <= 0 || f.height <= 0) {
                if (error) *error = "the camera delivered a frame without a size";
                return std::nullopt;
            }
            averager.emplace(f.width, f.height, frames);
        } else if (f.width != averager->width() || f.height != averager->height()) {
            if (error)
                *error = "the picture size changed from " +
                         sizeText(averager->width(), averager->height()) + " to " +
                         sizeText(f.width, f.height) + " while the frames were averaged";
            return std::nullopt;
        }
        if (!averager->add(f.data(), f.length)) {
            if (error) *error = "the camera delivered a frame shorter than its size";
            return std::nullopt;
        }
        sequence = frame->sequence;
    }
    if (stop && stop->load()) {
        if (error) *error = "stopped";
        return std::nullopt;
    }
    return averager->average16();
}

void channelMeans16(const PictureData& picture, double means[3]) {
    const auto samples = samplesAs16(picture);
    double sums[3] = {0, 0, 0};
    for (std::size_t i = 0; i < samples.size(); ++i) sums[i % 3] += samples[i];
    const double pixels = std::max<double>(1.0, double(samples.size() / 3));
    for (int c = 0; c < 3; ++c) means[c] = sums[c] / pixels;
}

bool referencesAgree(const PictureData& flat, const PictureData& dark, std::string* error) {
    if (flat.width != dark.width || flat.height != dark.height) {
        if (error)
            *error = "the flat is " + sizeText(flat.width, flat.height) + " but the dark " +
                     sizeText(dark.width, dark.height) + "; take both at the same size";
        return false;
    }
    double f[3], d[3];
    channelMeans16(flat, f);
    channelMeans16(dark, d);
    // A flat barely above the dark (both taken in the same light) would only boost noise.
    static const char* const kChannel[] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c)
        if (!(f[c] - d[c] >= kMinFlatAboveDark * 257.0)) {
            if (error)
                *error = std::string("the flat is ") +
                         (f[c] <= d[c] ? "darker than" : "hardly brighter than") + " the dark (" +
                         kChannel[c] + " " + std::to_string(int(f[c] / 257.0 + 0.5)) + " against " +
                         std::to_string(int(d[c] / 257.0 + 0.5)) +
                         "): take the flat of an empty, evenly lit field and the dark with "
                         "the light off";
            return false;
        }
    return true;
}

ReferenceTakeResult takeReference(LapseFrameSource& source, const FlatFieldStore& store,
                                  const std::string& device, const std::string& objective,
                                  FlatFieldStore::Kind kind, int frames,
                                  const std::atomic<bool>* stop,
                                  std::chrono::milliseconds timeout) {
    using Kind = FlatFieldStore::Kind;
    ReferenceTakeResult result;
    const std::string what = kindName(kind);
    const auto refuse = [&](const std::string& why) {
        // What is stored stays as it was, and so does the correction made from it.
        fillCorrection(store.load(device, objective), objective, result);
        result.ok = false;
        result.message = "The " + what + " of " + objective + " was not taken: " + why + ".";
        return result;
    };
    if (device.empty()) return refuse("no device is open");
    if (objective.empty()) return refuse("no objective is chosen");

    std::string error;
    auto picture = averageLiveFrames(source, frames, timeout, stop, &error);
    if (!picture) return refuse(error);

    const FlatFieldStore::Loaded stored = store.load(device, objective);
    const std::optional<PictureData>& other = kind == Kind::Flat ? stored.dark : stored.flat;
    if (other) {
        const PictureData& flat = kind == Kind::Flat ? *picture : *other;
        const PictureData& dark = kind == Kind::Flat ? *other : *picture;
        if (flat.width != dark.width || flat.height != dark.height)
            return refuse("the picture is " + sizeText(picture->width, picture->height) +
                          " but the stored " + (kind == Kind::Flat ? "dark" : "flat") + " is " +
                          sizeText(other->width, other->height) +
                          "; clear the references, then take both at this size");
        if (!referencesAgree(flat, dark, &error)) return refuse(error);
    }
    if (kind == Kind::Flat && !other) {
        // Without a dark the flat is measured against black.
        double means[3];
        channelMeans16(*picture, means);
        if (!(std::min({means[0], means[1], means[2]}) >= kMinFlatAboveDark * 257.0))
            return refuse("it holds no light (red " + std::to_string(int(means[0] / 257 + 0.5)) +
                          ", green " + std::to_string(int(means[1] / 257 + 0.5)) + ", blue " +
                          std::to_string(int(means[2] / 257 + 0.5)) +
                          " of 255): take it of an empty, evenly lit field");
    }
    if (kind == Kind::Flat) {
        // What is kept must make a correction.
        auto field = FlatField::make(*picture, other ? &*other : nullptr, &error);
        if (!field) return refuse(error);
    }
    if (!store.save(device, objective, kind, *picture, &error)) return refuse(error);

    fillCorrection(store.load(device, objective), objective, result);
    result.ok = true;
    result.message = "The " + what + " of " + objective + " is taken (" +
                     std::to_string(std::clamp(frames, 1, FrameAverager::kMaxFrames)) +
                     " frames, " + sizeText(picture->width, picture->height) + ").";
    if (!result.problem.empty()) result.message += " " + result.problem;
    return result;
}

ReferenceTakeResult loadReferences(const FlatFieldStore& store, const std::string& device,
                                   const std::string& objective) {
    ReferenceTakeResult result;
    fillCorrection(store.load(device, objective), objective, result);
    result.ok = result.problem.empty();
    result.message = result.problem;
    return result;
}

ReferenceTakeResult clearReferences(const FlatFieldStore& store, const std::string& device,
                                    const std::string& objective) {
    ReferenceTakeResult result;
    std::string error;
    const bool flatGone = store.remove(device, objective, FlatFieldStore::Kind::Flat, &error);
    const bool darkGone =
        flatGone && store.remove(device, objective, FlatFieldStore::Kind::Dark, &error);
    fillCorrection(store.load(device, objective), objective, result);
    result.ok = flatGone && darkGone;
    result.message =
        result.ok ? "The references of " + objective + " are cleared."
                  : "The references of " + objective + " could not all be cleared: " + error + ".";
    return result;
}

}  // namespace qelvo::acquire
