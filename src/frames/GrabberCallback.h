#pragma once

#include "frames/FramePool.h"

#include <cstddef>
#include <cstdint>

namespace qelvo {

// Receiver of a frame grabber's frames.  Both calls run on the streaming thread with one
// frame of bottom-up B,G,R rows, each padded to a multiple of 4 bytes (a 24-bit
// device-independent bitmap without its header).
class GrabberCallback {
public:
    virtual ~GrabberCallback() = default;
    // The buffer is only valid during the call.
    virtual void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) = 0;
    // What the grabber calls: the frame is the grabber's one copy of the stream's picture,
    // shared read-only, so a receiver may keep it as long as it likes without copying it.
    // By default the bytes go on to BufferCB.
    virtual void FrameCB(const GrabbedFrame& frame) {
        BufferCB(frame.sampleTime, frame.data(), frame.length);
    }
    // The size of the frames that follow: called when the stream settles its format (on the
    // streaming thread, before the first frame of that format) and when the callback is
    // installed on a grabber whose format is already settled (on the installing thread).
    virtual void FormatCB(int width, int height) {
        (void)width;
        (void)height;
    }
};

}  // namespace qelvo
