// Figures of the image management window's strip over camera-sized pictures:
//   thumbnail repaint: the eight thumbnails of 2592 x 1944 JPEGs painted anew, first from
//     files never shown before (every picture decoded) and then again (the usual repaint);
//     the full-size decode that a thumbnail without scaled decoding needs is the reference;
//   strip step: one strip bar step in a folder of 10,000 such pictures (the relisting, the
//     refill and the eight thumbnails painted, one of them a picture not shown before);
//   listing: counting and filling the slots of that folder (both enumerations).
// Each line: NAME: VALUE UNIT (target: CONDITION) ok|MISSED.  Medians of the thread's CPU
// time (all the work runs on the GUI thread), so other programs on a busy machine do not
// count; the wall-clock medians go to stderr.
#include "capture/Pacing.h"
#include "desktop/ScriptedDialogs.h"
#include "imaging/CxImage.h"
#include "manage/ImageManagementWindow.h"
#include "manage/PictureStrip.h"
#include "manage/ThumbnailButton.h"
#include "manage/ThumbnailCache.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"
#include "system/SessionState.h"

#include <QAbstractSlider>
#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qelvo;

using bench::medianMs;
using bench::report;
using bench::threadCpuMs;

namespace {

// A camera-sized picture with detail everywhere (gradients and noise), as photographs have.
bool writeCameraPicture(const std::string& path, unsigned seed) {
    CxImage image;
    if (!image.Create(2592, 1944, 24, FormatJpeg)) return false;
    std::mt19937 random(seed);
    for (int y = 0; y < 1944; ++y) {
        std::uint8_t* row = image.Bits() + std::size_t(image.RowBytes()) * y;
        for (int x = 0; x < 2592; ++x) {
            const int noise = int(random() % 12);
            row[3 * x] = std::uint8_t((x / 11 + noise + seed * 40) & 0xFF);
            row[3 * x + 1] = std::uint8_t((y / 8 + noise) & 0xFF);
            row[3 * x + 2] = std::uint8_t(((x + y) / 19 + seed * 13) & 0xFF);
        }
    }
    image.SetQuality(80);
    return image.SaveFile(path.c_str(), FormatJpeg);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    const test::TempFolder folder("qelvo-bench-manage");
    const fs::path base = folder.path();
    fs::create_directories(base / "eight");
    fs::create_directories(base / "many");
    setPacingPause(std::chrono::milliseconds(0));

    // Eight distinct pictures, and a folder of 10,000 names (hard links to them, so the
    // folder costs no disk space yet every name is its own file to the strip).
    std::vector<std::string> sources;
    for (unsigned i = 0; i < 8; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "2026050%u-1200%02u.jpg", 1 + i % 8, i);
        const std::string path = (base / "eight" / name).string();
        if (!writeCameraPicture(path, i)) {
            std::fprintf(stderr, "bench_manage: cannot write %s\n", path.c_str());
            return 1;
        }
        sources.push_back(path);
        if (i == 0)
            std::fprintf(stderr, "  picture size %ju bytes\n", std::uintmax_t(fs::file_size(path)));
    }
    for (int i = 0; i < 10000; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "20260506-%06d.jpg", i);
        std::error_code error;
        fs::create_hard_link(sources[i % 8], base / "many" / name, error);
        if (error) fs::copy_file(sources[i % 8], base / "many" / name);
    }

    // --- thumbnail repaint over the standard window's clip size
    {
        ThumbnailCache cache;
        QWidget window;
        window.resize(1024, 768);
        std::vector<ThumbnailButton*> clips;
        for (int k = 0; k < 8; ++k) {
            auto* clip = new ThumbnailButton(k, cache, &window);
            clip->setGeometry(80 + 110 * k, 625, 100, 100);
            clip->setFile(sources[k], fs::path(sources[k]).filename().string());
            clips.push_back(clip);
        }
        window.show();
        QApplication::processEvents();
        auto paintAll = [&] {
            for (ThumbnailButton* clip : clips) {
                clip->redraw();
                clip->repaint();
            }
        };
        // New pictures: the strip refill decodes them together (as the window does), then
        // the clips paint.  Wall-clock time, since the decodes run on several threads.
        const QSize pictureSize = ThumbnailButton::pictureRect(clips[0]->size()).size();
        const double cold = medianMs(
            runs, [&] { cache.clear(); },
            [&] {
                cache.prefetch(sources, pictureSize);
                paintAll();
            },
            true);
        const double warm = medianMs(runs, nullptr, paintAll);
        const double fullDecode = medianMs(std::max(3, runs / 3), nullptr, [&] {
            for (const std::string& path : sources) {
                CxImage picture;
                picture.LoadFile(path.c_str(), FormatJpeg);
            }
        });
        report("thumbnail_repaint_8_new_pictures", cold, "ms", "wall-clock median <= 40 ms",
               cold <= 40);
        report("thumbnail_repaint_8", warm, "ms", "median <= 40 ms", warm <= 40);
        report("full_size_decode_8_reference", fullDecode, "ms", "reference, no target", true);
        report("thumbnail_new_pictures_speedup", fullDecode / cold, "x",
               "> 1 against full-size decoding", fullDecode / cold > 1);
    }

    // --- listing and strip steps in the folder of 10,000 pictures
    {
        const std::string many = (base / "many").string();
        PictureStrip strip;
        const double listing = medianMs(runs, nullptr, [&] { strip.listFolder(many, true); });
        report("list_folder_10000", listing, "ms", "median <= 100 ms", listing <= 100);

        setStorageFolder((base / "root").string());
        fs::create_directories(base / "root");
        auto scripted = std::make_unique<ScriptedDialogs>();
        ScriptedDialogs* answers = scripted.get();
        setDialogs(std::move(scripted));
        setSelectedDeviceName("");  // no device: the window shows an empty live panel
        ImageManagementWindow window(nullptr, false);
        window.show();
        answers->folderAnswers.push_back(QString::fromStdString(many));
        window.chooseFolder();
        QApplication::processEvents();
        auto step = [&](int action) {
            window.stripBarAction(action);
            for (int k = 0; k < 8; ++k) window.clip(k)->repaint();
        };
        // Each step brings one picture never shown before into the strip.
        const double left =
            medianMs(runs, nullptr, [&] { step(QAbstractSlider::SliderSingleStepSub); });
        report("strip_step_10000", left, "ms", "median <= 60 ms", left <= 60);
        setDialogs(nullptr);
    }

    return 0;
}
