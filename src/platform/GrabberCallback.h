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
};

}  // namespace qelvo
