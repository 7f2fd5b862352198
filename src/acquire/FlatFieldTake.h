#pragma once

#include "acquire/FlatField.h"
#include "acquire/FlatFieldStore.h"
#include "acquire/TimeLapseRun.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace qelvo::acquire {

// Taking flat and dark references from a running camera, and the checks a new reference
// passes before it replaces anything stored.  Runs on a worker thread (it waits for frames).

// The 16-bit mean of `frames` consecutive frames from `source` (R,G,B, top row first).
// Nothing, with `error` saying why, when the camera delivers no frame in `timeout`, changes
// its frame size half-way or `stop` is raised.
std::optional<PictureData> averageLiveFrames(LapseFrameSource& source, int frames,
                                             std::chrono::milliseconds timeout,
                                             const std::atomic<bool>* stop, std::string* error);

// Mean of each channel of a picture on the 16-bit scale.
void channelMeans16(const PictureData& picture, double means[3]);

// Whether `flat` and `dark` make a usable pair: the same size, and the flat brighter than the
// dark in every channel by kMinFlatAboveDark 8-bit levels on average.  `error` says what is
// wrong in the operator's words.
constexpr double kMinFlatAboveDark = 8.0;
bool referencesAgree(const PictureData& flat, const PictureData& dark, std::string* error);

// One reference taken and stored for `device` and `objective`: the average checked against
// the other reference already stored, then saved, then the correction made anew from what is
// stored.  On any failure nothing stored changes.
struct ReferenceTakeResult {
    bool ok = false;
    std::string message;  // what to tell the operator (the failure, or what was stored)
    // The correction from the stored references after the take (null without a flat, or when
    // they are unusable; `problem` then says why).
    std::shared_ptr<const FlatField> correction;
    std::string problem;
    bool hasFlat = false;
    bool hasDark = false;
};
ReferenceTakeResult takeReference(LapseFrameSource& source, const FlatFieldStore& store,
                                  const std::string& device, const std::string& objective,
                                  FlatFieldStore::Kind kind, int frames,
                                  const std::atomic<bool>* stop = nullptr,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(3));

// The stored references of `objective` read again (after a change of objective, at start).
ReferenceTakeResult loadReferences(const FlatFieldStore& store, const std::string& device,
                                   const std::string& objective);

// Both references of `objective` removed.
ReferenceTakeResult clearReferences(const FlatFieldStore& store, const std::string& device,
                                    const std::string& objective);

}  // namespace qelvo::acquire
