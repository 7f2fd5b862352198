// The streaming thread's cost of a virtual device showing a specimen: every frame is the
// specimen blended between two defocused copies, panned, times the vignetting, plus the dark
// level and fresh noise (every option on), at 1280 x 720.  Against the memcpy of the same
// frame; the slow part done once per frame size (scaling, defocused copies, noise table) is
// shown beside it.
#include <QImage>
#include <cstring>
#include <vector>

#include "media/VirtualSpecimenInternal.h"
#include "support/BenchTiming.h"

using namespace qelvo;

int main() {
    const int width = 1280, height = 720, stride = width * 3;
    auto picture = std::make_shared<QImage>(2048, 1536, QImage::Format_BGR888);
    for (int y = 0; y < picture->height(); ++y)
        for (int x = 0; x < picture->width() * 3; ++x)
            picture->scanLine(y)[x] = static_cast<uchar>((x * 7 + y * 13) ^ (x >> 3));
    SpecimenEffects effects;
    effects.noise = 4;
    effects.vignette = 0.6;
    effects.dark = 8;
    effects.lens = true;
    SpecimenRenderer renderer(picture, effects);
    const double prepareMs = bench::medianMs(1, nullptr, [&] { renderer.prepare(width, height); });
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(stride) * height);
    // The most defocused frame waits for every copy, made beside the stream.
    SpecimenView farOut;
    farOut.blur = SpecimenRenderer::kMaxBlur;
    const double copiesMs = bench::medianMs(
        1, nullptr, [&] { renderer.render(frame.data(), stride, farOut); }, true);

    std::vector<std::uint8_t> copy(frame.size(), 1);
    const int frames = 200;
    SpecimenView view;
    view.blur = 5.0;  // between two copies: the blend is on
    view.panShare = 0.3;
    view.tiltShare = 0.7;
    const double renderMs = bench::medianMs(
        frames, [&] { view.drift += 2; }, [&] { renderer.render(frame.data(), stride, view); });
    const double memcpyMs = bench::medianMs(frames, nullptr, [&] {
        std::memcpy(frame.data(), copy.data(), frame.size());
        copy[frame.size() / 2] ^= frame[17];
    });
    const double ratio = renderMs / std::max(memcpyMs, 1e-6);
    const double interval = 1000.0 / 30;
    std::printf("specimen_frame_1280x720: %.1f x memcpy of the frame (target: <= 10 x) %s\n", ratio,
                ratio <= 10 ? "ok" : "MISSED");
    std::printf(
        "specimen_frame_1280x720_share_of_30fps_interval: %.1f %% (%.2f ms; target: <= 15 %%) %s\n",
        100 * renderMs / interval, renderMs, renderMs <= 0.15 * interval ? "ok" : "MISSED");
    std::printf(
        "specimen_prepare_1280x720: %.0f ms on the streaming thread once per frame size "
        "(for comparison)\n",
        prepareMs);
    std::printf(
        "specimen_defocus_copies_1280x720: %.0f ms wall-clock beside the stream, once per "
        "frame size (for comparison)\n",
        copiesMs);
    return 0;
}
