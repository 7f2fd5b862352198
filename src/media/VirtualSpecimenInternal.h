#pragma once

// Private to the media layer: the picture a virtual device shows instead of its test pattern,
// seen through a simulated camera (lens blur, field of view, vignetting, dark level, noise).

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace qelvo {

// Reads a specimen picture (JPEG or PNG; whatever Qt reads) as B,G,R.  A path with a '/' is
// used as it is; a bare file name is looked for among the specimens the program ships, then in
// the working folder.  Null, with the reason in `why`, when it cannot be read.  Slow (a large
// JPEG takes tens of milliseconds): never on the GUI thread.
std::shared_ptr<const QImage> loadSpecimenPicture(const std::string& path, std::string& why);

// Where the lens stands: written by the camera controls on any thread, read by the streaming
// thread once a frame.  A range whose maximum is not above its minimum is not known yet.
struct VirtualLensState {
    std::atomic<bool> autoFocus{true};
    std::atomic<int> focus{0}, focusMin{0}, focusMax{0};
    std::atomic<int> pan{0}, panMin{0}, panMax{0};
    std::atomic<int> tilt{0}, tiltMin{0}, tiltMax{0};
};
// The lens of a device name, made on first use and kept for the run.
std::shared_ptr<VirtualLensState> virtualLensOf(const std::string& deviceName);

// What a camera adds to the specimen.
struct SpecimenEffects {
    double noise = 0.0;     // Gaussian sigma, 8-bit levels
    double vignette = 1.0;  // corner illumination over the centre's
    int dark = 0;           // 8-bit levels
    // The device has a lens to move: the specimen is larger than the frame (pan and tilt show
    // the rest of it) and is blurred by the focus.
    bool lens = false;
    int focusPosition = -1;  // where the focus is sharp, in Focus control units; -1: middle
};

// Where one frame looks.
struct SpecimenView {
    double blur = 0.0;       // Gaussian sigma of the defocus, frame pixels
    double panShare = 0.5;   // 0: the left edge of the specimen, 1: its right edge
    double tiltShare = 0.5;  // 0: the top edge, 1: the bottom edge
    std::int64_t drift = 0;  // further horizontal offset in frame pixels (wraps around)
};

// The view the lens gives now.
SpecimenView specimenView(const VirtualLensState& lens, const SpecimenEffects& effects);

// Renders a specimen into frames of one size.  prepare() does the slow part once per frame
// size (the specimen scaled to the frame, the illumination map and the noise table) and starts
// a thread of its own making the defocused copies; render() is cheap enough for every frame at
// 30 fps.  Called by one thread at a time (the streaming thread).
class SpecimenRenderer {
public:
    // The defocus of the sharpest and the most blurred copy kept; a lens at the far end of
    // its Focus range from the sharp position blurs by kMaxBlur (frame pixels).
    static constexpr double kMaxBlur = 16.0;

    // Without a picture it adds the camera's effects to the frame it is given.
    SpecimenRenderer(std::shared_ptr<const QImage> picture, SpecimenEffects effects);
    ~SpecimenRenderer();
    SpecimenRenderer(const SpecimenRenderer&) = delete;
    SpecimenRenderer& operator=(const SpecimenRenderer&) = delete;
    // Whether the options ask for anything of a renderer.
    static bool wanted(bool picture, const SpecimenEffects& effects) {
        return picture || effects.noise > 0.0 || effects.vignette < 1.0 || effects.dark > 0;
    }

    void prepare(int width, int height);
    bool preparedFor(int width, int height) const { return width == width_ && height == height_; }
    // Writes a frame of the prepared size as top-down B,G,R rows `stride` bytes apart.
    void render(std::uint8_t* pixels, int stride, const SpecimenView& view);

    // The size the specimen is scaled to for frames of `frameWidth` x `frameHeight`: just
    // covering the frame, or with a lens a field of view of a third to two thirds of it (native
    // size where that fits; at most 16 megapixels unless covering the frame takes more).
    static void scaledSize(int pictureWidth, int pictureHeight, int frameWidth, int frameHeight,
                           bool lens, int& width, int& height);

private:
    struct Level {
        double blur;
        std::vector<std::uint8_t> pixels;  // scaledWidth_ x scaledHeight_ B,G,R, no padding
    };
    void prepareLevels();
    void dropLevels();
    void prepareEffects();
    void renderRow(std::uint8_t* out, int y, int column, int row, const Level& a, const Level* b,
                   int weight, const std::int16_t* noise);

    std::shared_ptr<const QImage> picture_;
    SpecimenEffects effects_;
    int width_ = 0, height_ = 0;
    int scaledWidth_ = 0, scaledHeight_ = 0;
    // The sharp and defocused copies of one frame size, shared with the thread making them.
    struct Levels {
        std::vector<Level> copies;  // sized before the thread starts
        std::atomic<int> ready{0};  // copies made so far, from the sharp one on
        std::atomic<bool> cancel{false};
        std::mutex mutex;
        std::condition_variable madeOne;
    };
    std::shared_ptr<Levels> levels_;   // null without a picture
    std::vector<std::uint16_t> gain_;  // per sample of a frame, row-major, 256 = 1
    std::vector<std::int16_t> noise_;  // sixteenths of a level; kNoiseLength + one row
    std::mt19937_64 random_;
};

}  // namespace qelvo
