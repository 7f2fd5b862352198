#pragma once
#include <memory>
#include <string>
#include <vector>

#include "combine/Align.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

// Extended depth of field from a focus series: pictures of one field, each sharp at another
// depth, given one at a time.  The first is the reference: every later one is aligned to it
// (shift, turn, the scale change of refocusing) and the result lies in its frame.
//
// Fusion works on Laplacian pyramids: at every level each slice's detail is weighted by its
// local energy there (the squared detail, smoothed over a few pixels so that neighbours agree
// and no single noisy pixel switches slice), the weights raised to a power so the sharpest
// slice dominates, and the weighted detail averaged; the coarsest level is the plain mean.
// Soft, smoothed weights leave no seams or halos where the sharp slice changes, and where no
// slice has detail the slices' noise averages out.  Only the running sums are kept, so memory
// does not grow with the number of slices.
class FocusStack {
public:
    FocusStack();
    ~FocusStack();
    FocusStack(const FocusStack&) = delete;
    FocusStack& operator=(const FocusStack&) = delete;

    // Aligns the slice to the first and adds its detail.  Every slice must have the first
    // one's size, channels and bits per sample.  False with a one-line `error` (and the
    // stack unchanged) when it does not or cannot be aligned.
    bool add(const PictureData& slice, std::string* error);

    int sliceCount() const;
    // Where each slice was found against the first (the identity for the first).
    const std::vector<Alignment>& alignments() const;

    // The fused picture, in the first slice's frame, size, channels and bits per sample (no
    // calibration: the caller decides).  Empty before any slice.
    PictureData fused() const;
    // Which slice was sharpest where, as 8-bit grey: slice i of n at i * 255 / (n - 1).
    PictureData depthMap() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qelvo::combine
