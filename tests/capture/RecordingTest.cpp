#include "capture/CaptureFixture.h"
#include "desktop/LiveTarget.h"
#include "media/MediaFile.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <thread>

namespace qelvo {
namespace {

using test::CaptureTestWindow;
using test::waitUntil;

const QString kRecordingNow = QStringLiteral("AVI recording now...");

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
    std::unique_ptr<CapturePipeline> previewing(CaptureTestWindow& window) {
        setSelectedDeviceName("Rec Cam");
        window.show();
        auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                     "Rec Cam{size=320x240,fps=30}");
        EXPECT_TRUE(pipeline->startCapture().ok());
        EXPECT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 2; }));
        return pipeline;
    }
    // Lets the recording run until the movie holds some frames.
    void recordFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
    }
};

TEST_F(RecordingTest, CancelledDialogChangesNothing) {
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    dialogs->fileAnswers.push_back(std::nullopt);
    pipeline->startRecording();
    EXPECT_FALSE(pipeline->isRecording());
    ASSERT_EQ(dialogs->shown.size(), 1u);
    const FileDialogRequest& request = dialogs->shown[0].request;
    EXPECT_EQ(dialogs->shown[0].kind, "save");
    EXPECT_EQ(request.defaultExtension, "AVI");
    EXPECT_EQ(request.initialName, "*.avi");
    EXPECT_EQ(request.filter, "AVI Files (*.AVI)|*.avi||");
    EXPECT_TRUE(request.initialFolder.isEmpty());
    EXPECT_TRUE(request.confirmOverwrite) << "an existing movie is not replaced silently";
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 1u) << "the preview still takes pictures";
}

TEST_F(RecordingTest, RecordSnapRecordStopGivesACompleteMovieAndPreviewReturns) {
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    const std::string path = folder / "movie.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    ASSERT_TRUE(pipeline->isRecording());
    EXPECT_FALSE(pipeline->grabber1()) << "no grabbers while recording";
    VideoWindow& video = pipeline->graph()->videoWindow();
    EXPECT_EQ(video.owner(), window.panel(1037));
    EXPECT_EQ(video.geometry(), QRect(0, 0, 640, 480));
    EXPECT_TRUE(video.isVisible());

    pipeline->requestSnapshot();
    pipeline->startRecording();
    EXPECT_EQ(dialogs->messages(), (QStringList{kRecordingNow, kRecordingNow}));
    recordFor(std::chrono::milliseconds(1500));
    EXPECT_TRUE(picturesInFolder().empty());

    pipeline->stopRecording();
    EXPECT_FALSE(pipeline->isRecording());
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 10u);
    EXPECT_GT(info.durationSeconds, 0.3);
    EXPECT_EQ(info.width, 320);
    EXPECT_EQ(info.height, 240);
    EXPECT_NE(info.videoCodec, "video/x-raw") << "written through the MPEG-4 encoder";

    const auto drawn = window.panel(1037)->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() > drawn + 2; }));
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 1u);
}

TEST_F(RecordingTest, ClosingTheWindowWhileRecordingLeavesACompleteMovie) {
    const std::string path = folder / "closed.avi";
    {
        CaptureTestWindow window;
        auto pipeline = previewing(window);
        dialogs->fileAnswers.push_back(QString::fromStdString(path));
        pipeline->startRecording();
        ASSERT_TRUE(pipeline->isRecording());
        recordFor(std::chrono::milliseconds(1000));
    }  // the pipeline goes with its window
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 5u);
}

TEST_F(RecordingTest, LongPathIsUsedWhole) {
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    std::string deep = folder.path();
    while (deep.size() < 300) {
        deep += "/a-rather-long-folder-name-for-recording";
        ASSERT_EQ(::mkdir(deep.c_str(), 0700), 0);
    }
    const std::string path = deep + "/movie-with-a-long-path.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    recordFor(std::chrono::milliseconds(500));
    pipeline->stopRecording();
    MediaFileInfo info;
    EXPECT_TRUE(inspectMediaFile(path, info).ok()) << path.size() << " bytes";
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

TEST_F(RecordingTest, RecordingThatCannotStartIsReportedOnceAndPreviewReturns) {
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    dialogs->fileAnswers.push_back(QString::fromStdString(folder / "no-such-folder/movie.avi"));
    pipeline->startRecording();
    EXPECT_FALSE(pipeline->isRecording());
    QCoreApplication::processEvents();
    const QStringList shown = dialogs->messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("The movie could not be recorded.")) << shown[0].toStdString();
    ASSERT_TRUE(pipeline->grabber1()) << "the preview graph is built again";
    const auto drawn = window.panel(1037)->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() > drawn + 2; }));
    pipeline->requestSnapshot();
    EXPECT_EQ(dialogs->messages().size(), 1) << "snapshots work again";
}

TEST_F(RecordingTest, DeviceLostWhileRecordingIsReportedAndWhatWasWrittenPlays) {
    CaptureTestWindow window;
    setSelectedDeviceName("Dying Cam");
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                 "Dying Cam{size=160x120,stopafter=40,unplug}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    const std::string path = folder / "cut.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    ASSERT_TRUE(waitUntil([&] { return !dialogs->messages().isEmpty(); }));
    ASSERT_TRUE(waitUntil([&] { return !pipeline->isRecording(); }));
    EXPECT_TRUE(dialogs->messages()[0].startsWith("The movie could not be recorded."));
    MediaFileInfo info;
    EXPECT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 0u);
}

TEST_F(RecordingTest, StopWaitsForASlowWriterAndTheMoviePlaysToItsEnd) {
    // The writer keeps up with a fraction of the stream, so at STOP a second of frames is
    // still queued before the multiplexer: draining it takes seconds.
    const WriterFaults slow({40000, false});
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    const std::string path = folder / "slow.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    ASSERT_TRUE(pipeline->isRecording());
    recordFor(std::chrono::milliseconds(2000));
    pipeline->stopRecording();
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
    EXPECT_TRUE(isFinishedAvi(path));
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 10u);
    // The length in the header is that of every frame read to the end.
    EXPECT_NEAR(info.durationSeconds, info.videoFrames / 30.0, 0.05);
}

TEST_F(RecordingTest, AnErrorAtStopIsReportedAndTheMovieIsStillFinished) {
    const WriterFaults failing({0, true});
    CaptureTestWindow window;
    auto pipeline = previewing(window);
    const std::string path = folder / "failed.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    recordFor(std::chrono::milliseconds(1000));
    pipeline->stopRecording();
    EXPECT_FALSE(pipeline->isRecording());
    const QStringList shown = dialogs->messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("The recording ended with an error"));
    EXPECT_TRUE(shown[0].contains("Simulated write failure")) << shown[0].toStdString();
    EXPECT_TRUE(isFinishedAvi(path));
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_GT(info.videoFrames, 5u);
    EXPECT_NEAR(info.durationSeconds, info.videoFrames / 30.0, 0.05);
    ASSERT_TRUE(pipeline->grabber1()) << "the preview graph is built again";
}

TEST_F(RecordingTest, HdVariantRecordsAt1280x720) {
    CaptureTestWindow window;
    window.show();
    setSelectedDeviceName("Quillmar hd capture device");
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, true,
                                 "Quillmar hd capture device{size=640x480}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    const std::string path = folder / "hd.avi";
    dialogs->fileAnswers.push_back(QString::fromStdString(path));
    pipeline->startRecording();
    ASSERT_TRUE(pipeline->isRecording());
    recordFor(std::chrono::milliseconds(700));
    pipeline->stopRecording();
    MediaFileInfo info;
    ASSERT_TRUE(inspectMediaFile(path, info).ok());
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 720);
    EXPECT_TRUE(dialogs->messages().isEmpty());
}

}  // namespace
}  // namespace qelvo
