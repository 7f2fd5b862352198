#include "capture/CaptureFixture.h"
#include "desktop/LiveTarget.h"
#include "media/MediaFile.h"
#include "media/MediaGraph.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

namespace qelvo {
namespace {

using State = CaptureSession::State;
using test::CaptureTestWindow;
using test::waitUntil;
using test::writtenSnapshots;

bool hasComponent(const CaptureSession& session, const std::string& name) {
    if (!session.graph()) return false;
    const auto names = session.graph()->componentNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::uint32_t littleEndian32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

// A finished AVI file: its RIFF size covers the whole file and an index chunk follows the
// frames.  A file whose recording was cut off has neither.
bool isFinishedAvi(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "AVI ") != 0)
        return false;
    if (littleEndian32(data.data() + 4) + 8 != data.size()) return false;
    for (std::size_t at = 12; at + 8 <= data.size();) {
        if (data.compare(at, 4, "idx1") == 0) return true;
        at += 8 + ((littleEndian32(data.data() + at + 4) + 1) & ~1u);
    }
    return false;
}

// Faults of the file writer for one test.
struct WriterFaults {
    explicit WriterFaults(FileWriterFaults faults) { setFileWriterFaultsForTesting(faults); }
    ~WriterFaults() { setFileWriterFaultsForTesting({}); }
};

class RecordingTest : public test::CaptureFixture {
protected:
    std::unique_ptr<CaptureTestWindow> previewing(bool hd = false) {
        setSelectedDeviceName("Rec Cam");
        auto window = makeWindow(writtenSnapshots(hd), "Rec Cam{size=320x240,fps=30}");
        window->show();
        EXPECT_EQ(window->startAndSettle(), State::Live);
        EXPECT_TRUE(window->waitForLiveFrames(2));
        return window;
    }
    // Starts recording into `path` and waits until the recording graph runs.
    static bool record(CaptureTestWindow& window, const std::string& path) {
        window.session().startRecording(path, window.view());
        return window.session().isRecording() &&
               waitUntil([&] { return window.session().state() != State::Opening; }) &&
               window.session().state() == State::Recording;
    }
    // Lets the recording run until the movie holds some frames.
    void recordFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
    }
    // The preview is back: its grabbers are in the graph and draw again.
    static bool previewReturned(CaptureTestWindow& window) {
        return waitUntil([&] { return window.session().state() == State::Live; }) &&
               hasComponent(window.session(), "Grabber") && window.waitForLiveFrames(3);
    }
};

TEST_F(RecordingTest, NoPathChangesNothing) {
    auto window = previewing();
    window->session().startRecording("", window->view());
    EXPECT_FALSE(window->session().isRecording());
    EXPECT_EQ(window->session().state(), State::Live);
    ASSERT_TRUE(window->session().requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u) << "the preview still takes pictures";
}

TEST_F(RecordingTest, RecordSnapRecordStopGivesACompleteMovieAndPreviewReturns) {
    auto window = previewing();
    CaptureSession& session = window->session();
    const std::string path = folder / "movie.avi";
    ASSERT_TRUE(record(*window, path));
    EXPECT_FALSE(hasComponent(session, "Grabber")) << "no grabbers while recording";
    MediaGraph* recording = session.graph();
    VideoWindow& video = recording->videoWindow();
    EXPECT_EQ(video.owner(), window->view());
    EXPECT_EQ(video.geometry(), QRect(0, 0, 640, 480));
    EXPECT_TRUE(video.isVisible());

    EXPECT_FALSE(session.requestSnapshot()) << "refused while recording";
    session.startRecording(folder / "second.avi", window->view());
    EXPECT_EQ(session.graph(), recording) << "one recording at a time";
    recordFor(std::chrono::milliseconds(1500));
    EXPECT_TRUE(picturesInFolder().empty());

    session.stopRecording();
    EXPECT_FALSE(session.isRecording());
    EXPECT_FALSE(std::filesystem::exists(folder / "second.avi"));
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 10u);
    EXPECT_GT(info.durationSeconds, 0.3);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_NE(info.videoCodec, "video/x-raw") << "written through the MPEG-4 encoder";

    ASSERT_TRUE(previewReturned(*window));
    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u);
    EXPECT_TRUE(window->recordingProblems.isEmpty());
}

TEST_F(RecordingTest, ClosingTheWindowWhileRecordingLeavesACompleteMovie) {
    const std::string path = folder / "closed.avi";
    {
        auto window = previewing();
        ASSERT_TRUE(record(*window, path));
        recordFor(std::chrono::milliseconds(1000));
    }  // the session goes with its window
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 5u);
}

TEST_F(RecordingTest, LongPathIsUsedWhole) {
    auto window = previewing();
    std::string deep = folder.path();
    while (deep.size() < 300) {
        deep += "/a-rather-long-folder-name-for-recording";
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    const std::string path = deep + "/movie-with-a-long-path.avi";
    ASSERT_TRUE(record(*window, path));
    recordFor(std::chrono::milliseconds(500));
    window->session().stopRecording();
    MediaFileInfo info;
    EXPECT_TRUE(inspectMediaFile(path, info).ok()) << path.size() << " bytes";
    EXPECT_TRUE(window->recordingProblems.isEmpty());
}

TEST_F(RecordingTest, RecordingThatCannotStartIsReportedOnceAndPreviewReturns) {
    auto window = previewing();
    const std::string path = folder / "no-such-folder/movie.avi";
    window->session().startRecording(path, window->view());
    ASSERT_TRUE(waitUntil([&] { return !window->recordingProblems.isEmpty(); }));
    EXPECT_FALSE(window->session().isRecording());
    ASSERT_TRUE(previewReturned(*window)) << "the preview graph is built again";
    QCoreApplication::processEvents();
    ASSERT_EQ(window->recordingProblems.size(), 1);
    EXPECT_TRUE(window->recordingProblems[0].startsWith("The movie could not be recorded."))
        << window->recordingProblems[0].toStdString();
    ASSERT_TRUE(window->session().requestSnapshot()) << "snapshots work again";
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(window->recordingProblems.size(), 1);
    EXPECT_TRUE(window->unavailable.isEmpty());
}

TEST_F(RecordingTest, DeviceLostWhileRecordingIsReportedAndWhatWasWrittenPlays) {
    setSelectedDeviceName("Dying Cam");
    auto window = makeWindow(writtenSnapshots(), "Dying Cam{size=160x120,stopafter=40,unplug}");
    window->session().start();
    const std::string path = folder / "cut.avi";
    window->session().startRecording(path, window->view());
    ASSERT_TRUE(waitUntil([&] { return !window->recordingProblems.isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return !window->session().isRecording(); }));
    EXPECT_TRUE(window->recordingProblems[0].startsWith("The movie could not be recorded."));
    MediaFileInfo info;
    EXPECT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 0u);
}

TEST_F(RecordingTest, StopWaitsForASlowWriterAndTheMoviePlaysToItsEnd) {
    // The writer keeps up with a fraction of the stream, so at STOP a second of frames is
    // still queued before the multiplexer: draining it takes seconds.
    const WriterFaults slow({40000, false});
    auto window = previewing();
    const std::string path = folder / "slow.avi";
    ASSERT_TRUE(record(*window, path));
    recordFor(std::chrono::milliseconds(2000));
    window->session().stopRecording();
    EXPECT_TRUE(window->recordingProblems.isEmpty())
        << window->recordingProblems.join("|").toStdString();
    EXPECT_TRUE(isFinishedAvi(path));
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 10u);
    // The length in the header is that of every frame read to the end.
    EXPECT_NEAR(info.durationSeconds, info.videoFrames / 30.0, 0.05);
}

TEST_F(RecordingTest, AnErrorAtStopIsReportedAndTheMovieIsStillFinished) {
    const WriterFaults failing({0, true});
    auto window = previewing();
    const std::string path = folder / "failed.avi";
    ASSERT_TRUE(record(*window, path));
    recordFor(std::chrono::milliseconds(1000));
    window->session().stopRecording();
    EXPECT_FALSE(window->session().isRecording());
    const QStringList shown = window->recordingProblems;
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("The recording ended with an error"));
    EXPECT_TRUE(shown[0].contains("Simulated write failure")) << shown[0].toStdString();
    EXPECT_TRUE(isFinishedAvi(path));
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 5u);
    EXPECT_NEAR(info.durationSeconds, info.videoFrames / 30.0, 0.05);
    ASSERT_TRUE(previewReturned(*window)) << "the preview graph is built again";
}

TEST_F(RecordingTest, HdVariantRecordsAt1280x720) {
    setSelectedDeviceName("Quillmar hd capture device");
    auto window = makeWindow(writtenSnapshots(true), "Quillmar hd capture device{size=640x480}");
    window->show();
    window->session().start();
    const std::string path = folder / "hd.avi";
    ASSERT_TRUE(record(*window, path));
    recordFor(std::chrono::milliseconds(700));
    window->session().stopRecording();
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);
    EXPECT_TRUE(window->recordingProblems.isEmpty());
}

}  // namespace
}  // namespace qelvo
