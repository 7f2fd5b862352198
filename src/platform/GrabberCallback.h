#pragma once

#include <cstddef>
#include <cstdint>

namespace qelvo {

// Receiver of a frame grabber's frames.  BufferCB runs on the streaming thread with one frame
// of bottom-up B,G,R rows, each padded to a multiple of 4 bytes (a 24-bit device-independent
// bitmap without its header).  The buffer is only valid during the call.
class GrabberCallback {
public:
    virtual ~GrabberCallback() = default;
    virtual void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) = 0;
    // The size of the frames that follow: called when the stream settles its format (on the
    // streaming thread, before the first frame of that format) and when the callback is
    // installed on a grabber whose format is already settled (on the installing thread).
    virtual void FormatCB(int width, int height) {
        (void)width;
        (void)height;
    }
};

}  // namespace qelvo
