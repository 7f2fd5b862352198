#pragma once

#include "simulated/VirtualDeviceList.h"

#include <cstdint>
#include <string>

namespace qelvo {

// How a virtual device behaves, from its options in QELVO_VIRTUAL_DEVICES:
//   size=WxH      frame size (default 640x480)
//   fps=N         frame rate (default 30)
//   hd=0|1        accepts 1280x720 (default 1)
//   still         has a still output (one frame per hardware button press)
//   nocapture     has no capture output (its stream is reached as preview only)
//   stopafter=N   stops delivering frames after N frames, like an unplugged camera
//   delay=MS      the stream (format and first frame) starts MS milliseconds after the
//                 device does, like a slow camera (0-60000, default 0)
//   opendelay=MS  opening the device takes MS milliseconds, as a real camera's driver takes
//                 0.3-2 s to open and negotiate (0-60000, default 0)
//   exclusive     like a V4L2 camera, open once at a time: a second open fails as busy
//   unplug        with stopafter: the device also reports an error, as a removed camera does
//   live=0|1      paced by the clock (default 1); 0 delivers as fast as it is consumed
//   pattern=NAME  the test pattern (videotestsrc names: smpte, ball, snow, red, ...;
//                 default smpte)
//   motion=N      horizontal movement of the pattern in pixels per frame (default 2)
//   overlay=0|1   burns the time and a frame counter in (default 1)
//   controls      offers a typical USB camera's controls (exposure, white balance, focus,
//                 ...) as its settings pages instead of the colour controls
//   specimen=PATH the frames show this picture (JPEG or PNG) scaled to cover the frame
//                 instead of the test pattern; a bare file name is also looked for among
//                 the specimens the program ships
//   noise=SIGMA   fresh Gaussian noise of SIGMA 8-bit levels on every frame (0-40)
//   vignette=F    illumination falls off radially, the corners getting F of the centre (0-1)
//   dark=L        a dark level of L 8-bit levels added to every sample (0-255)
//   focus=N       with controls: the Focus position at which the specimen is sharp (default
//                 the middle of the control's range)
// Unknown options and unreadable values are ignored (the default stays).
struct VirtualDeviceOptions {
    int width = 640;
    int height = 480;
    int fps = 30;
    bool acceptsHd = true;
    bool hasStill = false;
    bool hasCapture = true;
    std::int64_t stopAfter = -1;  // -1: never
    int startDelayMs = 0;
    int openDelayMs = 0;
    bool exclusive = false;
    bool unplugError = false;
    bool live = true;
    std::string pattern = "smpte";
    int motion = 2;
    bool overlay = true;
    bool cameraControls = false;
    std::string specimen;   // empty: the test pattern
    double noise = 0.0;     // sigma in 8-bit levels
    double vignette = 1.0;  // corner illumination as a share of the centre's
    int dark = 0;           // 8-bit levels
    int focus = -1;         // -1: the middle of the Focus control's range
};

VirtualDeviceOptions parseVirtualDeviceOptions(const VirtualDeviceEntry& entry);

// A gst-launch description of the device's picture source (pattern, size, rate, burnt-in
// time), for comparing with GStreamer's own tools.
std::string virtualSourceLaunchDescription(const VirtualDeviceOptions& options);

}  // namespace qelvo
