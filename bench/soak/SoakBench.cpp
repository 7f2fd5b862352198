// Long run of the image management window over a camera with a hardware snapshot button on
// its still output.  The button is pressed with the press tool, as an operator's camera
// would, 4 times a second (QELVO_SOAK_SNAPSHOTS presses, default 2,000); after each picture
// is written the strip bar is moved to its end, so the newest thumbnails paint.  After every
// 200 presses a short movie is recorded and stopped.  Afterwards:
//   pictures_expected / pictures_written   presses against JPEG files in the folder
//   pictures_undecodable                   files the program's JPEG codec cannot read whole
//   strip_end_not_newest                   scrolls to the end that did not show the picture
//                                          just written in the last clip
//   movies_unplayable                      AVI files that do not demultiplex and decode to
//                                          their end, or lack a frame the live picture got
//   rss_growth_after_first_block           VmRSS at the end minus VmRSS after the first 200
//                                          presses and their recording (the first movie
//                                          loads the encoder, which is not growth)
//   press_rate                             presses a second actually reached
// Each line: NAME: VALUE UNIT (target: CONDITION) ok|MISSED.  Details go to stderr.
//
//   bench_soak [SNAPSHOTS]
// The pause after a snapshot is 50 ms unless QELVO_PACING_MS says otherwise: the window's
// full 250 ms pause alone would fill the GUI thread at 4 snapshots a second.
#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "imaging/CxImage.h"
#include "manage/ImageManagementWindow.h"
#include "manage/PictureStrip.h"
#include "media/MediaFile.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"
#include "system/MemoryPolicy.h"
#include "system/SessionState.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace qelvo;
using bench::report;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kBlock = 200;          // presses between two recordings
constexpr int kPressPeriodMs = 250;  // 4 presses a second
constexpr int kRecordingMs = 2000;   // length of each movie
constexpr int kWriteWaitMs = 5000;   // longest wait for one picture
constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kFps = 30;
constexpr double kRssGrowthLimitMiB = 8;
const std::string kDevice = "Soak Camera";

// A "Name:  N kB" line of /proc/self/status.
long statusKiB(const char* name) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(name) + ":";
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return 0;
}

long rssKiB() {
    return statusKiB("VmRSS");
}

// Runs the event loop until `deadline`.
void runEventsUntil(Steady::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    if (left <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(left), &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename Done>
bool runEventsUntilDone(Done done, int maxMs) {
    const auto end = Steady::now() + std::chrono::milliseconds(maxMs);
    while (!done()) {
        if (Steady::now() >= end) return false;
        runEventsUntil(std::min(end, Steady::now() + std::chrono::milliseconds(5)));
    }
    return true;
}

// Runs a program with its output discarded; its exit status, or -1 when it did not run.
int runQuietly(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// A picture decodes when the codec reads it at the camera's size and the file ends with the
// end-of-image marker (the codec fills a cut-off picture in silently).
bool pictureDecodes(const fs::path& path) {
    CxImage picture;
    if (!picture.LoadFile(path.c_str(), FormatJpeg) || picture.Width() != kFrameWidth ||
        picture.Height() != kFrameHeight)
        return false;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file || file.tellg() < 2) return false;
    file.seekg(-2, std::ios::end);
    unsigned char end[2] = {};
    file.read(reinterpret_cast<char*>(end), 2);
    return file && end[0] == 0xFF && end[1] == 0xD9;
}

struct Movie {
    std::string path;
    double recordedSeconds = 0;
    std::uint64_t shownFrames = 0;  // frames handed to the live picture while it recorded
};

// A movie plays to its end when it demultiplexes to its end, GStreamer decodes it to end of
// stream, and it holds every frame the live picture was handed while recording: each frame
// goes to the file and to the picture, and only the picture's first one comes twice (once to
// cue the picture, once to show it).
bool moviePlays(const Movie& movie) {
    MediaFileInfo info;
    const MediaResult read = inspectMediaFile(movie.path, info);
    const std::uint64_t minimumFrames =
        std::max<std::uint64_t>(1, movie.shownFrames > 0 ? movie.shownFrames - 1 : 0);
    const int decoded = runQuietly({"gst-launch-1.0", "-q", "filesrc", "location=" + movie.path,
                                    "!", "avidemux", "!", "decodebin", "!", "fakesink"});
    std::fprintf(stderr,
                 "  %s: %s, %ju frames, %.2f s (recorded %.2f s, %ju frames shown), decode %s\n",
                 fs::path(movie.path).filename().c_str(), read ? "read" : read.message().c_str(),
                 std::uintmax_t(info.videoFrames), info.durationSeconds, movie.recordedSeconds,
                 std::uintmax_t(movie.shownFrames), decoded == 0 ? "to end of stream" : "FAILED");
    return read.ok() && info.videoFrames >= minimumFrames && decoded == 0;
}

}  // namespace

int main(int argc, char** argv) {
    useSteadyMemoryPolicy();  // as the program's own start-up does
    const std::string pressTool = QELVO_PRESS_TOOL;
    int snapshots = 2000;
    if (argc > 1)
        snapshots = std::atoi(argv[1]);
    else if (const char* n = std::getenv("QELVO_SOAK_SNAPSHOTS"))
        snapshots = std::atoi(n);
    snapshots = std::max(1, snapshots);

    const test::TempFolder folder("qelvo-soak");
    const fs::path base = folder.path();
    fs::create_directories(base / "root");
    fs::create_directories(base / "movies");
    fs::create_directories(base / "run");
    // The program and the press tool meet in the runtime folder.
    ::setenv("QELVO_RUNTIME_DIR", (base / "run").c_str(), 1);
    ::setenv("QELVO_REGISTRY_DIR", (base / "registry").c_str(), 1);
    const std::string deviceList = kDevice + "{still,size=" + std::to_string(kFrameWidth) + "x" +
                                   std::to_string(kFrameHeight) + ",fps=" + std::to_string(kFps) +
                                   "}";
    ::setenv("QELVO_VIRTUAL_DEVICES", deviceList.c_str(), 1);

    QApplication app(argc, argv);
    if (!std::getenv("QELVO_PACING_MS")) setPacingPause(std::chrono::milliseconds(50));

    std::atomic<int> written{0};
    std::mutex newestMutex;
    std::string newest;  // file name of the last picture written
    setSnapshotWrittenObserver([&](const std::string& path) {
        {
            std::lock_guard lock(newestMutex);
            newest = fs::path(path).filename().string();
        }
        written.fetch_add(1);
    });

    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* answers = scripted.get();
    setDialogs(std::move(scripted));
    setStorageFolder((base / "root").string());
    setSelectedDeviceName(kDevice);

    std::vector<Movie> movies;
    long rssBaseline = 0;
    long rssEnd = 0;
    int pressFailures = 0;
    int lateWrites = 0;
    int stripBehind = 0;  // scrolls after which the last clip was not the newest picture
    double pressSeconds = 0;
    std::string pictureFolder;
    {
        ImageManagementWindow window(nullptr, false);
        window.show();
        pictureFolder = storageFolder();
        // The stream is running once the live panel has its first frame; give it a moment.
        runEventsUntil(Steady::now() + std::chrono::milliseconds(1500));

        int pressed = 0;
        while (pressed < snapshots) {
            const int blockEnd = std::min(snapshots, pressed + kBlock);
            const auto blockStart = Steady::now();
            for (int i = 0; pressed < blockEnd; ++i) {
                runEventsUntil(blockStart + std::chrono::milliseconds(kPressPeriodMs * i));
                if (runQuietly({pressTool, kDevice}) != 0) ++pressFailures;
                ++pressed;
                const int target = pressed;
                if (!runEventsUntilDone([&] { return written.load() >= target; }, kWriteWaitMs))
                    ++lateWrites;
                window.stripBarAction(QAbstractSlider::SliderToMaximum);
                const std::string last = window.strip().slot(PictureStrip::kSlots - 1);
                std::lock_guard lock(newestMutex);
                if (last != newest && window.strip().pictureCount() >= PictureStrip::kSlots)
                    ++stripBehind;
            }
            pressSeconds += std::chrono::duration<double>(Steady::now() - blockStart).count();

            // A short movie, then the preview comes back for the next block.
            Movie movie;
            char name[32];
            std::snprintf(name, sizeof name, "soak-%02zu.avi", movies.size() + 1);
            movie.path = (base / "movies" / name).string();
            answers->fileAnswers.push_back(QString::fromStdString(movie.path));
            const auto recordStart = Steady::now();
            window.record();
            runEventsUntil(recordStart + std::chrono::milliseconds(kRecordingMs));
            if (MediaGraph* graph = window.session().graph())
                if (auto* picture = qobject_cast<LiveTarget*>(graph->videoWindow().widget()))
                    movie.shownFrames = picture->submittedFrames();
            window.stopRecording();
            movie.recordedSeconds =
                std::chrono::duration<double>(Steady::now() - recordStart).count();
            movies.push_back(movie);
            runEventsUntil(Steady::now() + std::chrono::milliseconds(500));
            if (pressed == std::min(snapshots, kBlock)) rssBaseline = rssKiB();
            const struct mallinfo2 heap = mallinfo2();
            // Where resident memory sits: anonymous or mapped files, and of the heap what is
            // in use and what the allocator keeps free.
            std::fprintf(stderr,
                         "  %d presses, %d written, RSS %ld KiB (anonymous %ld, files %ld), heap "
                         "in use %zu KiB, heap free %zu KiB, threads %ld\n",
                         pressed, written.load(), rssKiB(), statusKiB("RssAnon"),
                         statusKiB("RssFile"), (heap.uordblks + heap.hblkhd) / 1024,
                         heap.fordblks / 1024, statusKiB("Threads"));
        }
        waitForSnapshotWriters();
        runEventsUntil(Steady::now() + std::chrono::milliseconds(500));
        rssEnd = rssKiB();
        for (const QString& text : answers->messages())
            std::fprintf(stderr, "  message box: %s\n", text.toUtf8().constData());
    }
    setSnapshotWrittenObserver(nullptr);
    setDialogs(nullptr);

    int files = 0;
    int undecodable = 0;
    int leftovers = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(pictureFolder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".jpg" && entry.is_regular_file()) {
            ++files;
            if (!pictureDecodes(entry.path())) {
                ++undecodable;
                std::fprintf(stderr, "  does not decode: %s\n", name.c_str());
            }
        } else if (name.rfind(".snapshot-", 0) == 0) {
            ++leftovers;
        }
    }
    int unplayable = 0;
    for (const Movie& movie : movies)
        if (!moviePlays(movie)) ++unplayable;
    if (pressFailures) std::fprintf(stderr, "  press tool failed %d times\n", pressFailures);
    if (lateWrites) std::fprintf(stderr, "  %d pictures took over 5 s to appear\n", lateWrites);
    if (leftovers) std::fprintf(stderr, "  %d temporary files left behind\n", leftovers);

    const double growthMiB = (rssEnd - rssBaseline) / 1024.0;
    std::fprintf(stderr, "  RSS after the first block %ld KiB, at the end %ld KiB\n", rssBaseline,
                 rssEnd);
    // Counts, written without decimals.
    report("pictures_expected", snapshots, "pictures", "hardware button presses", true, 0);
    report("pictures_written", files, "pictures", "= " + std::to_string(snapshots),
           files == snapshots, 0);
    report("pictures_undecodable", undecodable, "pictures", "0", undecodable == 0, 0);
    report("strip_end_not_newest", stripBehind, "scrolls", "0", stripBehind == 0, 0);
    report("movies_recorded", double(movies.size()), "movies", "one per 200 presses",
           !movies.empty(), 0);
    report("movies_unplayable", unplayable, "movies", "0", unplayable == 0, 0);
    report("rss_growth_after_first_block", growthMiB, "MiB", "<= 8 MiB",
           growthMiB <= kRssGrowthLimitMiB);
    report("press_rate", snapshots / std::max(pressSeconds, 1e-3), "per s", "about 4, >= 3.6",
           snapshots / std::max(pressSeconds, 1e-3) >= 3.6);

    return 0;
}
